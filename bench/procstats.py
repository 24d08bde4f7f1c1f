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


def proc_context_switches(pid):
    """Voluntary plus involuntary context switches: each is a wake-up."""
    return (proc_status_kib(pid, "voluntary_ctxt_switches") +
            proc_status_kib(pid, "nonvoluntary_ctxt_switches"))


def proc_schedstat_seconds(pid):
    """CPU time of all the process's threads from schedstat (nanosecond
    resolution, unlike the clock ticks of /proc/PID/stat)."""
    total = 0
    for tid in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{tid}/schedstat") as f:
                total += int(f.read().split()[0])
        except FileNotFoundError:
            pass
    return total / 1e9


def proc_all_context_switches(pid):
    """Context switches of all the process's threads: each is a wake-up."""
    total = 0
    for tid in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{tid}/status") as f:
                for line in f:
                    if line.startswith(("voluntary_ctxt_switches:", "nonvoluntary_ctxt_switches:")):
                        total += int(line.split()[1])
        except FileNotFoundError:
            pass
    return total
