"""What the benchmark scripts share: private servers and the CPU time of processes."""

import ctypes
import os
import shutil
import subprocess
import tempfile
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent


def start_server(kind, prefix):
    """Starts a private server of `kind`; returns its folder and an environment that reaches it."""
    folder = tempfile.mkdtemp(prefix=prefix)
    out = subprocess.check_output([str(ROOT / "scripts/sound-server"), "start", folder, kind],
                                  text=True)
    env = dict(os.environ)
    for item in out.split()[1:]:
        key, _, value = item.partition("=")
        env[key] = value
    return folder, env


def stop_server(folder):
    """Stops the server `start_server` started and removes its folder."""
    subprocess.run([str(ROOT / "scripts/sound-server"), "stop", folder], check=False)
    shutil.rmtree(folder, ignore_errors=True)


def thread_run_times(pid):
    """Each thread's run time so far, in nanoseconds as the scheduler counts it (clock ticks of
    10 ms are too coarse for the figures these scripts compare)."""
    times = {}
    try:
        tasks = os.listdir(f"/proc/{pid}/task")
    except FileNotFoundError:
        return times
    for task in tasks:
        try:
            with open(f"/proc/{pid}/task/{task}/schedstat") as stat:
                times[task] = int(stat.read().split()[0])
        except (FileNotFoundError, ProcessLookupError):
            pass
    return times


def cpu_seconds(pids):
    """Run time of every thread of the processes, in seconds."""
    return sum(sum(thread_run_times(pid).values()) for pid in pids) / 1e9


def libpulse_channel_map(channels, family="waveex"):
    """The map libpulse's pa_channel_map_init_extend gives `channels` of a family ("waveex" or
    "default", libpulse's own default that parecord takes when given no map)."""
    pulse = ctypes.CDLL("libpulse.so.0")
    pulse.pa_channel_map_snprint.restype = ctypes.c_char_p
    map_, text = ctypes.create_string_buffer(256), ctypes.create_string_buffer(1024)
    pulse.pa_channel_map_init_extend(map_, channels, {"default": 0, "waveex": 3}[family])
    return pulse.pa_channel_map_snprint(text, len(text), map_).decode()


def capture_channel_map(channels, env):
    """The positions the capture device presents its channels under, in the report's order, on
    the server `env` reaches: from the tenth channel on aux positions on PulseAudio, the rest of
    the order's 18 names on PipeWire (scripts/sound-server names its runtime folder there)."""
    if "PIPEWIRE_RUNTIME_DIR" not in env or channels < 10:
        return libpulse_channel_map(channels)
    names = libpulse_channel_map(18).split(",")
    return ",".join(names[:channels] + [f"aux{k}" for k in range(channels - len(names))])
