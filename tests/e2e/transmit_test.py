"""The send queue end to end: real recordings sent by e-mail (aiosmtpd), FTP (pyftpdlib), to a
folder and to a program, all on loopback in a temporary home."""

import email
import email.policy
import os
import signal
import socket
import struct
import subprocess

from recording_harness import RecordingTestCase
from sonaro_harness import SonaroTestCase, wait_until

SUPPORT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support")
PYTHON = "/usr/bin/python3" if os.access("/usr/bin/python3", os.X_OK) else "python3"


def queue_bytes(paths, attempts=0):
    data = struct.pack("<HHI", 1, attempts, 260)
    for path in paths:
        record = path.encode()
        data += record + b"\0" * (260 - len(record))
    return data


def read_bytes(path):
    with open(path, "rb") as source:
        return source.read()


def closed_port():
    """A loopback port that nothing listens on."""
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def parse_attachment(eml_path):
    with open(eml_path, "rb") as source:
        message = email.message_from_binary_file(source, policy=email.policy.default)
    part = next(message.iter_attachments())
    return part.get_filename(), part.get_payload(decode=True)


class TransmitSetup:
    """Settings and folders shared by the tests."""

    def prepare_transmit(self):
        self.mail_dir = os.path.join(self.home, "mail")
        self.ftp_root = os.path.join(self.home, "ftp root")
        self.backup = os.path.join(self.home, "backup folder")
        self.tools = os.path.join(self.home, "my tools")
        for folder in (self.mail_dir, self.ftp_root, self.backup, self.tools):
            os.mkdir(folder)
        # Keeps each argument NUL-terminated and a copy of the first.
        self.tool("take it", "printf '%s\\0' \"$@\" > \"$d/args\"\n"
                  "cp \"$1\" \"$d/copy\"\n")
        self.set_settings("Settings", bPromptTransmit="0", SendEmail="1", SendFtp="1",
                          SendFolder="1", SendRun="1", SendFolderDir=self.backup)
        # The loopback test servers do not encrypt.
        self.set_settings("Email", UseMAPI="0", UseSMTPHost="1", SendDirect="0", DefaultsSet="1",
                          To="office@example.com", ReplyToEmail="recorder@example.com",
                          AllowPlainPassword="1")
        self.set_settings("Ftp", UserName="rec", Password="secret", Directory="/",
                          AllowPlainPassword="1")

    def tool(self, name, script):
        """A shell script in self.tools (`d` is its folder) that the program runs on each
        recording; its path."""
        path = os.path.join(self.tools, name)
        with open(path, "w") as tool:
            tool.write("#!/bin/sh\nd=$(dirname \"$0\")\n" + script)
        os.chmod(path, 0o755)
        self.set_settings("Settings", SendRunExe='"%s" "%%s"' % path)
        return path

    def start_server(self, *args):
        """Starts a server of tests/support/net_servers.py until the test ends; its port."""
        process = subprocess.Popen([PYTHON, os.path.join(SUPPORT, "net_servers.py"), *args],
                                   stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.addCleanup(lambda: (process.kill(), process.wait(timeout=10),
                                 process.stdout.close()))
        return int(process.stdout.readline())

    def start_smtp(self):
        port = self.start_server("smtp", self.mail_dir)
        self.set_settings("Email", MailSMTPHost="127.0.0.1:%d" % port)

    def start_ftp(self, *extra):
        port = self.start_server("ftp", self.ftp_root, "rec", "secret", *extra)
        self.set_settings("Ftp", Server="127.0.0.1:%d" % port)

    def assertQueueEmptied(self, timeout):
        queue = self.data_file("bgsend.lst")
        self.assertTrue(wait_until(lambda: os.path.getsize(queue) == 0, timeout), self.log_lines())


class TransmitRecordingTest(TransmitSetup, RecordingTestCase):

    def setUp(self):
        super().setUp()
        self.prepare_transmit()
        # Blanks and quotes in the path: the program must still get it as one argument.
        self.out = os.path.join(self.home, "it's a \"quoted\" folder")
        os.mkdir(self.out)

    def record_one(self):
        """Records the tone for a second; the file's path and bytes."""
        self.start_recording()
        self.pause(1.0)
        self.command("-done")
        path = os.path.join(self.out, "Untitled 001.wav")
        return path, read_bytes(path)

    def test_a_recording_arrives_by_all_four_methods_unchanged(self):
        self.start_smtp()
        self.start_ftp()
        path, data = self.record_one()
        eml = os.path.join(self.mail_dir, "1.eml")
        uploaded = os.path.join(self.ftp_root, "Untitled 001.wav")
        copied = os.path.join(self.backup, "Untitled 001.wav")
        handed = os.path.join(self.tools, "copy")
        self.assertTrue(wait_until(lambda: all(os.path.exists(p) for p in
                                               (eml, copied, handed)), 30), self.log_lines())
        name, attachment = parse_attachment(eml)
        self.assertEqual(name, "Untitled 001.wav")
        self.assertEqual(attachment, data)
        for arrived in (uploaded, copied, handed):
            self.assertEqual(read_bytes(arrived), data, arrived)
        self.assertEqual(read_bytes(os.path.join(self.tools, "args")), path.encode() + b"\0")
        self.assertQueueEmptied(10)
        self.assertNotIn("Transmit failed", self.log_lines())

    def test_each_failing_method_is_reported_once_and_the_others_still_run(self):
        self.set_settings("Email", MailSMTPHost="127.0.0.1:%d" % closed_port())
        self.set_settings("Ftp", Server="127.0.0.1:%d" % closed_port())
        if os.geteuid() == 0:
            # Root writes into any folder it may enter; a file where the folder should be
            # refuses the copy all the same.
            self.backup = os.path.join(self.home, "not a folder")
            with open(self.backup, "w") as blocker:
                blocker.write("x")
        else:
            os.chmod(self.backup, 0o555)
        self.set_settings("Settings", SendFolderDir=self.backup)
        path, data = self.record_one()
        handed = os.path.join(self.tools, "copy")
        self.assertTrue(wait_until(lambda: os.path.exists(handed), 30), self.log_lines())
        self.assertEqual(read_bytes(handed), data)
        self.assertQueueEmptied(10)
        log = self.log_lines()
        for failure in (
                'Cannot send the file "Untitled 001.wav" to email. Please check the email '
                'settings in Options->Transmit again.',
                'Cannot upload the file "Untitled 001.wav" to the FTP Server. Please check the '
                'FTP Server details in Options->Transmit again.',
                'Cannot copy the file "Untitled 001.wav" to the backup folder. Please check the '
                'backup folder path in Options->Transmit again.'):
            self.assertEqual(log.count(failure), 1, log)
        self.assertNotIn("Cannot run the exe program", log)
        self.assertIn("Transmit failed for %s: " % path, log)

    def test_questions_without_a_display_take_their_answer_and_recordings_go_in_order(self):
        self.set_settings("Settings", bPromptTransmit="1", SendEmail="0", SendFtp="0",
                          SendFolder="0")
        self.tool("list it", "printf '%s\\n' \"$1\" >> \"$d/list\"\n")
        first = self.start_recording("-outdir", self.out)
        for _ in range(3):
            self.command("-record")
            self.pause(0.5)
            self.command("-done")
        listed = os.path.join(self.tools, "list")

        def lines():
            return read_bytes(listed).decode().splitlines() if os.path.exists(listed) else []
        self.assertTrue(wait_until(lambda: len(lines()) == 3, 30), self.log_lines())
        self.assertEqual(lines(), [os.path.join(self.out, "Untitled %03d.wav" % n)
                                   for n in (1, 2, 3)])
        self.assertEqual(self.log_text(first).count("Would you like to run"), 3,
                         self.log_text(first))


class TransmitQueueRestartTest(TransmitSetup, SonaroTestCase):
    """A queue left by an earlier run, without recording anything."""

    def setUp(self):
        super().setUp()
        self.prepare_transmit()
        self.set_settings("Settings", SendEmail="0", SendFolder="0", SendRun="0")
        self.big = os.path.join(self.home, "big take.wav")
        with open(self.big, "wb") as take:
            take.write(os.urandom(8 * 1024 * 1024))
        os.makedirs(os.path.dirname(self.data_file("bgsend.lst")), exist_ok=True)
        with open(self.data_file("bgsend.lst"), "wb") as queue:
            queue.write(queue_bytes([self.big]))

    def test_a_kill_during_an_upload_is_resumed_at_the_next_start(self):
        self.start_ftp("--throttle", str(2 * 1024 * 1024))
        uploaded = os.path.join(self.ftp_root, "big take.wav")
        first = self.spawn()
        self.assertTrue(wait_until(lambda: os.path.exists(uploaded) and
                                   os.path.getsize(uploaded) > 0, 20))
        os.kill(first.pid, signal.SIGKILL)
        first.wait(timeout=10)
        self.assertLess(os.path.getsize(uploaded), os.path.getsize(self.big))
        self.assertEqual(read_bytes(self.data_file("bgsend.lst")), queue_bytes([self.big], 1))

        self.start_first()
        self.assertQueueEmptied(30)
        self.assertEqual(read_bytes(uploaded), read_bytes(self.big))
