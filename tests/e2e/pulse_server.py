"""A private PulseAudio server for end-to-end tests: one null sink whose monitor is the default
source, so what paplay plays into the sink is what the program records.

Works as root: the daemon runs per-user (-n --system=no) with its runtime, state and config paths
in a temporary folder, and clients reach it through PULSE_SERVER.
"""

import os
import shutil
import subprocess
import tempfile
import time

SINK = "sonaro_test_sink"
MONITOR = SINK + ".monitor"


class PulseServer:
    def __init__(self):
        self.folder = tempfile.mkdtemp(prefix="sonaro-pulse-")
        for sub in ("run", "state", "config"):
            os.mkdir(os.path.join(self.folder, sub), 0o700)
        self.address = "unix:" + os.path.join(self.folder, "native")
        self.env = dict(os.environ)
        self.env.update({
            "HOME": self.folder,
            "XDG_RUNTIME_DIR": os.path.join(self.folder, "run"),
            "PULSE_RUNTIME_PATH": os.path.join(self.folder, "run"),
            "PULSE_STATE_PATH": os.path.join(self.folder, "state"),
            "XDG_CONFIG_HOME": os.path.join(self.folder, "config"),
        })
        self.process = None
        self.silence = None
        self._error = ""

    def start(self, timeout=20):
        """Starts the daemon; False (with error()) when it did not come up."""
        if shutil.which("pulseaudio") is None:
            self._error = "pulseaudio is not installed"
            return False
        log = os.path.join(self.folder, "daemon.log")
        self.process = subprocess.Popen(
            ["pulseaudio", "-n", "--daemonize=no", "--system=no", "--use-pid-file=no",
             "--exit-idle-time=-1", "--disallow-exit", "--realtime=no", "--high-priority=no",
             "--log-target=file:" + log,
             "--load=module-null-sink sink_name=%s rate=44100 channels=2 "
             "sink_properties=device.description=Sonaro_Test_Output" % SINK,
             "--load=module-native-protocol-unix auth-anonymous=1 socket="
             + os.path.join(self.folder, "native")],
            env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                self._error = "pulseaudio ended at start-up"
                return False
            if self.client("pactl", "set-default-source", MONITOR).returncode == 0:
                self.client("pactl", "set-default-sink", SINK)
                # A new stream on an idle sink holds up the monitor for about a second and a
                # half; a stream of silence that never ends keeps the sink running, so sounds
                # start at once.
                self.silence = self.play("/dev/zero", "pacat", "--playback")
                time.sleep(2)
                return True
            time.sleep(0.1)
        self._error = "pulseaudio did not answer"
        return False

    def error(self):
        try:
            with open(os.path.join(self.folder, "daemon.log")) as log:
                return self._error + "\n" + log.read()[-2000:]
        except OSError:
            return self._error

    def client_env(self):
        env = dict(self.env)
        env["PULSE_SERVER"] = self.address
        return env

    def client(self, *args, timeout=30):
        return subprocess.run(list(args), env=self.client_env(), capture_output=True,
                              timeout=timeout)

    def play(self, path, *player):
        """Starts paplay (or `player`) on the null sink without waiting."""
        return subprocess.Popen([*(player or ["paplay"]), "--latency-msec=40", "--device=" + SINK,
                                 path], env=self.client_env(), stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def stop(self):
        if self.silence is not None and self.silence.poll() is None:
            self.silence.kill()
            self.silence.wait(timeout=10)
        if self.process is not None and self.process.poll() is None:
            self.process.kill()
            self.process.wait(timeout=10)
        shutil.rmtree(self.folder, ignore_errors=True)
