"""What /proc says about a process: CPU time and memory, for the bench scripts."""
import os

TICK = os.sysconf("SC_CLK_TCK")


def proc_cpu_seconds(pid):
    """User plus system CPU time of the process, in seconds."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICK


def proc_status_kib(pid, key):
    """A KiB figure of /proc/PID/status such as VmRSS or VmHWM; -1 if absent."""
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith(key + ":"):
                return int(line.split()[1])
    return -1


def proc_private_kib(pid):
    """Memory only this process uses (private clean + dirty pages, KiB): what
    one more process of a program that shares its libraries really costs."""
    total = 0
    with open(f"/proc/{pid}/smaps_rollup") as f:
        for line in f:
            if line.startswith(("Private_Clean:", "Private_Dirty:")):
                total += int(line.split()[1])
    return total
