"""A running instance driven by second starts, as a script or another program would."""

import ctypes
import os
import sys
import platform
import shutil
import signal
import struct
import subprocess
import unittest

from sonaro_harness import SonaroTestCase, wait_until


class ForwardingTest(SonaroTestCase):

    def test_second_start_forwards_options_and_ends(self):
        first = self.start_first()
        outdir = os.path.join(self.home, "recordings")
        self.command("-OUTDIR", outdir, "-hide", "-show")
        self.assertEqual(self.setting("FindPlay", "DefaultRecordFolder"), outdir)
        self.assertIsNone(first.poll())

    def test_exit_and_a_termination_signal_end_the_instance_and_save_its_state(self):
        # The second round's start also shows that the next start becomes the instance again.
        for end in (lambda first: self.command("-exit"),
                    lambda first: first.send_signal(signal.SIGTERM)):
            shutil.rmtree(os.path.join(self.env["XDG_CONFIG_HOME"], "sonaro"), ignore_errors=True)
            first = self.start_first()
            end(first)
            self.assertEqual(first.wait(timeout=20), 0, self.log_text(first))
            self.assertFalse(os.path.exists(self.socket_path))
            self.assertIsNotNone(self.setting("MainWindow", "X"))
            self.assertEqual(self.setting("Settings", "HaveRun"), "1")

    def test_format_options_land_in_the_settings_and_the_format_file(self):
        # No sound server: the recordings are attempted and fail visibly, nothing is recorded.
        self.env["PULSE_SERVER"] = "unix:" + os.path.join(self.home, "no-sound-server")
        first = self.start_first()
        self.run_sonaro("-record", "WAV", "-s", "22050", "-m", "2", "-b", "16")
        self.assertEqual(self.setting("Settings", "Format"), "0")
        with open(self.data_file("WavCodec.wff"), "rb") as f:
            wff = f.read()
        self.assertEqual(len(wff), 1028)
        tag, channels, rate, average, align, bits, extra = struct.unpack("<HHIIHHH", wff[:18])
        self.assertEqual((tag, channels, rate, average, align, bits, extra),
                         (1, 2, 22050, 88200, 4, 16, 0))

        self.run_sonaro("-record", "mp3", "-vbr", "-b", "64", "-B", "192", "-q", "2",
                        "-m", "m", "-p")
        self.assertEqual(self.setting("Settings", "Format"), "1")
        self.assertEqual([self.setting("MP3Encoder", name) for name in
                          ("ConstantBitRate", "VBRMinBitRate", "VBRMaxBitRate", "VBRQuality",
                           "ChannelMode", "ErrorProtection")],
                         ["0", "64", "192", "2", "3", "1"])

        self.run_sonaro("-recordfile", os.path.join(self.home, "take.aif"), "-s", "8000",
                        "-m", "1")
        self.assertEqual(self.setting("Settings", "Format"), "2")
        self.assertEqual(self.setting("AIFFEncode", "SampleRate"), "8000")
        self.assertEqual(self.setting("AIFFEncode", "Channels"), "1")
        # Each of the three recording commands reached the session, which could not capture.
        self.assertEqual(self.log_text(first).count("cannot open the sound device"), 3)

    def test_simultaneous_starts_make_exactly_one_first_instance(self):
        starts = [self.spawn("-outdir", f"/start/{i}") for i in range(3)]
        self.assertTrue(wait_until(lambda: sum(p.poll() is not None for p in starts) >= 2, 40),
                        "the forwarding starts did not end")
        running = [p for p in starts if p.poll() is None]
        self.assertEqual(len(running), 1)
        self.assertTrue(self.listening())
        self.assertEqual([p.returncode for p in starts if p is not running[0]], [0, 0])
        self.assertRegex(self.setting("FindPlay", "DefaultRecordFolder"), r"^/start/[0-2]$")


class CrashReportTest(SonaroTestCase):

    def crash_lines(self):
        return [line for line in self.log_lines().splitlines() if "crashed: " in line]

    def test_a_fault_in_the_event_loop_names_the_running_phase(self):
        if platform.machine() != "x86_64":
            self.skipTest("the tgkill system call number is the x86-64 one")
        first = self.start_first()
        # Aimed at the main thread (its thread id is the process id), where the loop runs.
        tgkill = 234
        self.assertEqual(ctypes.CDLL(None, use_errno=True).syscall(
            tgkill, first.pid, first.pid, signal.SIGSEGV), 0)
        self.assertEqual(first.wait(timeout=30), 1)
        self.assertTrue(wait_until(lambda: self.crash_lines(), 30), self.log_text(first))
        self.assertRegex(self.crash_lines()[0],
                         r"crashed: AccessViolation-Linux\d+-.+-MainUkn0\(Msg0LstCmd\d+\)$")


class ProcessOptionTest(SonaroTestCase):

    def test_setautorun_writes_and_removes_the_logon_entry(self):
        entry = os.path.join(self.env["XDG_CONFIG_HOME"], "autostart", "sonaro.desktop")
        self.command("-setautorun", "X1")
        with open(entry) as f:
            text = f.read()
        self.assertIn('\nExec="%s" -logon\n' % os.path.realpath(os.environ["SONARO_BIN"]), text)
        self.command("-setautorun", "X2")
        self.assertTrue(os.path.exists(entry))
        self.command("-setautorun", "X0")
        self.assertFalse(os.path.exists(entry))

    def test_tool_and_installer_options_end_without_starting(self):
        for args in (["-exe", "NoSuchTool"], ["-extfind", "x"],
                     ["-addfiletyperunspecial", "a", "b"]):
            result = self.run_sonaro(*args, timeout=20)
            self.assertEqual(result.returncode, 0, args)
        self.assertFalse(os.path.exists(os.path.join(self.runtime, "sonaro")))


class PeerCheckTest(SonaroTestCase):

    CLIENT = r"""
import socket, struct, sys
args = [b"sonaro", b"-outdir", b"/nobody/was/here"]
block = struct.pack("<i", len(args)) + b"".join(a.ljust(260, b"\0") for a in args)
block = block.ljust(33284, b"\0")
s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
s.settimeout(10)
s.connect(sys.argv[1])
print("connected", flush=True)
try:
    s.sendall(block)
    s.shutdown(socket.SHUT_WR)
    print("answer", len(s.recv(4)))
except OSError as error:
    print("answer 0 (%s)" % error.__class__.__name__)
"""

    def test_a_peer_of_another_user_id_is_refused(self):
        if os.geteuid() != 0:
            self.skipTest("needs root to run a client as the user nobody")
        first = self.start_first()
        # Open the path for nobody: the folders traversable and the socket writable, so that
        # only the server's own user-id check stands in the way.
        for folder in (self.home, self.runtime, os.path.dirname(self.socket_path)):
            os.chmod(folder, 0o711)
        os.chmod(self.socket_path, 0o666)
        parent = self.home
        while parent != "/":
            parent = os.path.dirname(parent)
            if not os.stat(parent).st_mode & 0o001:
                self.skipTest("%s is not traversable by other users" % parent)
        result = subprocess.run(["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups",
                                 sys.executable, "-c", self.CLIENT, self.socket_path],
                                 capture_output=True, text=True, timeout=30)
        self.assertIn("connected", result.stdout, result.stderr)
        self.assertIn("answer 0", result.stdout)
        self.assertTrue(wait_until(lambda: "refused a command line from user id 65534"
                                   in self.log_text(first), 10), self.log_text(first))
        self.assertIsNone(self.setting("FindPlay", "DefaultRecordFolder"))
        # The instance still serves its own user.
        self.command("-outdir", "/mine")
        self.assertEqual(self.setting("FindPlay", "DefaultRecordFolder"), "/mine")


if __name__ == "__main__":
    unittest.main()
