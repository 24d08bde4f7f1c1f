/* A serial program's modem-line requests, one per output line, so that a
 * test can compare what a port answers with and without the preload library.
 *
 *   vaskor-modem-client PATH probe     every request, in a fixed order
 *   vaskor-modem-client PATH lines     TIOCMGET only
 *   vaskor-modem-client PATH count     TIOCGICOUNT only
 *   vaskor-modem-client PATH drop      DTR off, then RTS off
 *   vaskor-modem-client PATH wait MS   TIOCMIWAIT on CTS|DSR|CD, interrupted
 *                                      by a signal after MS milliseconds
 *
 * Each line is "REQUEST rc=N" with "errno=NAME" on failure or the answer's
 * fields on success. Exit status 0 unless the path cannot be opened. */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/time.h>
#include <termios.h>
#include <unistd.h>

static void on_alarm(int signal_number) { (void)signal_number; }

/* Without SA_RESTART, so the signal ends a wait as it would a real one. */
static void alarm_after(long ms) {
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = on_alarm;
    sigaction(SIGALRM, &action, NULL);
    struct itimerval timer;
    memset(&timer, 0, sizeof timer);
    timer.it_value.tv_sec = ms / 1000;
    timer.it_value.tv_usec = (ms % 1000) * 1000;
    setitimer(ITIMER_REAL, &timer, NULL);
}

static int report(const char *name, int rc) {
    if (rc < 0) {
        const char *error = strerrorname_np(errno);
        printf("%s rc=%d errno=%s\n", name, rc, error ? error : "?");
    } else {
        printf("%s rc=%d", name, rc);
    }
    return rc;
}

static void print_bits(int bits) {
    static const struct { int bit; const char *name; } names[] = {
        {TIOCM_DTR, "DTR"}, {TIOCM_RTS, "RTS"}, {TIOCM_CTS, "CTS"},
        {TIOCM_DSR, "DSR"}, {TIOCM_CAR, "CD"},  {TIOCM_RNG, "RI"},
    };
    printf(" bits=");
    const char *separator = "";
    for (size_t i = 0; i < sizeof names / sizeof names[0]; ++i) {
        if (bits & names[i].bit) {
            printf("%s%s", separator, names[i].name);
            separator = ",";
        }
    }
    if (*separator == '\0') printf("none");
    printf("\n");
}

static void get_lines(int fd) {
    int bits = 0;
    if (report("TIOCMGET", ioctl(fd, TIOCMGET, &bits)) == 0) print_bits(bits);
}

static void set_lines(int fd, const char *name, unsigned long request, int bits) {
    if (report(name, ioctl(fd, request, &bits)) == 0) printf("\n");
    get_lines(fd);
}

static void plain(int fd, const char *name, unsigned long request, long arg) {
    if (report(name, ioctl(fd, request, arg)) == 0) printf("\n");
}

static void get_serial(int fd) {
    struct serial_struct info;
    memset(&info, 0, sizeof info);
    if (report("TIOCGSERIAL", ioctl(fd, TIOCGSERIAL, &info)) == 0) {
        printf(" type=%d baud_base=%d xmit_fifo_size=%d flags=0x%x custom_divisor=%d\n",
               info.type, info.baud_base, info.xmit_fifo_size, info.flags, info.custom_divisor);
    }
}

/* What pyserial does for low latency, and setserial for a custom speed. */
static void set_serial(int fd) {
    struct serial_struct info;
    memset(&info, 0, sizeof info);
    ioctl(fd, TIOCGSERIAL, &info);
    info.flags |= ASYNC_LOW_LATENCY | ASYNC_SPD_CUST;
    info.custom_divisor = 3;
    if (report("TIOCSSERIAL", ioctl(fd, TIOCSSERIAL, &info)) == 0) printf("\n");
    get_serial(fd);
}

static void count_changes(int fd) {
    struct serial_icounter_struct counts;
    memset(&counts, 0, sizeof counts);
    if (report("TIOCGICOUNT", ioctl(fd, TIOCGICOUNT, &counts)) == 0) {
        printf(" cts=%d dsr=%d dcd=%d rng=%d\n", counts.cts, counts.dsr, counts.dcd, counts.rng);
    }
}

static void wait_change(int fd, long ms) {
    alarm_after(ms);
    if (report("TIOCMIWAIT", ioctl(fd, TIOCMIWAIT, TIOCM_CTS | TIOCM_DSR | TIOCM_CD)) == 0) {
        printf("\n");
    }
    alarm_after(0);
}

static void probe(int fd) {
    get_lines(fd);
    set_lines(fd, "TIOCMBIC(DTR)", TIOCMBIC, TIOCM_DTR);
    set_lines(fd, "TIOCMBIC(RTS)", TIOCMBIC, TIOCM_RTS);
    set_lines(fd, "TIOCMBIS(DTR)", TIOCMBIS, TIOCM_DTR);
    set_lines(fd, "TIOCMSET(RTS)", TIOCMSET, TIOCM_RTS);
    set_lines(fd, "TIOCMSET(DTR|RTS|CTS)", TIOCMSET, TIOCM_DTR | TIOCM_RTS | TIOCM_CTS);
    plain(fd, "TIOCSBRK", TIOCSBRK, 0);
    plain(fd, "TIOCCBRK", TIOCCBRK, 0);
    plain(fd, "TCSBRK(0)", TCSBRK, 0);
    plain(fd, "TCSBRK(1)", TCSBRK, 1);
    int lsr = 0;
    if (report("TIOCSERGETLSR", ioctl(fd, TIOCSERGETLSR, &lsr)) == 0) printf(" lsr=%d\n", lsr);
    get_serial(fd);
    set_serial(fd);
    count_changes(fd);
    plain(fd, "TIOCMGET(NULL)", TIOCMGET, 0);
    wait_change(fd, 100);
    /* A request the library never answers, for a baseline on every path. */
    int queued = -1;
    if (report("FIONREAD", ioctl(fd, FIONREAD, &queued)) == 0) printf(" queued=%d\n", queued);
}

int main(int argc, char **argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: %s PATH probe|lines|count|drop|wait MS\n", argv[0]);
        return 2;
    }
    const int fd = open(argv[1], O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        perror(argv[1]);
        return 1;
    }
    setvbuf(stdout, NULL, _IOLBF, 0);
    if (strcmp(argv[2], "probe") == 0) {
        probe(fd);
    } else if (strcmp(argv[2], "lines") == 0) {
        get_lines(fd);
    } else if (strcmp(argv[2], "drop") == 0) {
        set_lines(fd, "TIOCMBIC(DTR)", TIOCMBIC, TIOCM_DTR);
        set_lines(fd, "TIOCMBIC(RTS)", TIOCMBIC, TIOCM_RTS);
    } else if (strcmp(argv[2], "count") == 0) {
        count_changes(fd);
    } else if (strcmp(argv[2], "wait") == 0 && argc > 3) {
        wait_change(fd, atol(argv[3]));
        get_lines(fd);
    } else {
        fprintf(stderr, "unknown command %s\n", argv[2]);
        return 2;
    }
    close(fd);
    return 0;
}
