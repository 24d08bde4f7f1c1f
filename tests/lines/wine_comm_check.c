/* A Windows serial program's start on a COM port, as many insist on it:
 * SetCommState with DTR and RTS enabled, GetCommModemStatus, DTR cleared and
 * set, then every byte value out and back through an echoing device.
 *
 *   comm_check.exe COM4          the whole sequence; exit 0 when it all worked
 *   comm_check.exe COM4 status   GetCommModemStatus only; prints its result
 *
 * Built with MinGW, run under Wine. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

static int fail(const char *what) {
    printf("FAIL: %s (error %lu)\n", what, (unsigned long)GetLastError());
    return 1;
}

int main(int argc, char **argv) {
    char name[64];
    snprintf(name, sizeof name, "\\\\.\\%s", argc > 1 ? argv[1] : "COM4");
    HANDLE port = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (port == INVALID_HANDLE_VALUE) return fail("CreateFile");

    DWORD status = 0;
    if (argc > 2 && strcmp(argv[2], "status") == 0) {
        if (!GetCommModemStatus(port, &status)) {
            printf("GetCommModemStatus failed, error %lu\n", (unsigned long)GetLastError());
        } else {
            printf("GetCommModemStatus 0x%lx\n", (unsigned long)status);
        }
        CloseHandle(port);
        return 0;
    }

    DCB dcb;
    memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(port, &dcb)) return fail("GetCommState");
    dcb.BaudRate = CBR_115200;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fOutX = dcb.fInX = FALSE;
    if (!SetCommState(port, &dcb)) return fail("SetCommState");

    if (!GetCommModemStatus(port, &status)) return fail("GetCommModemStatus");
    const DWORD wanted = MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON;
    if ((status & wanted) != wanted) {
        printf("FAIL: GetCommModemStatus 0x%lx, CTS, DSR and RLSD not all on\n",
               (unsigned long)status);
        return 1;
    }
    if (!EscapeCommFunction(port, CLRDTR)) return fail("EscapeCommFunction(CLRDTR)");
    if (!EscapeCommFunction(port, SETDTR)) return fail("EscapeCommFunction(SETDTR)");

    COMMTIMEOUTS timeouts;
    memset(&timeouts, 0, sizeof timeouts);
    timeouts.ReadTotalTimeoutConstant = 10000;
    timeouts.WriteTotalTimeoutConstant = 10000;
    if (!SetCommTimeouts(port, &timeouts)) return fail("SetCommTimeouts");

    unsigned char sent[256], got[256];
    for (int i = 0; i < 256; ++i) sent[i] = (unsigned char)i;
    DWORD done = 0;
    if (!WriteFile(port, sent, sizeof sent, &done, NULL) || done != sizeof sent) {
        return fail("WriteFile");
    }
    DWORD total = 0;
    while (total < sizeof got) {
        DWORD part = 0;
        if (!ReadFile(port, got + total, sizeof got - total, &part, NULL)) return fail("ReadFile");
        if (part == 0) break;
        total += part;
    }
    if (total != sizeof got || memcmp(sent, got, sizeof got) != 0) {
        printf("FAIL: sent 256 bytes, %lu came back%s\n", (unsigned long)total,
               total == sizeof got ? " changed" : "");
        return 1;
    }
    CloseHandle(port);
    printf("wine: SetCommState, GetCommModemStatus 0x%lx, CLRDTR, SETDTR, 256 byte values "
           "round-tripped\n", (unsigned long)status);
    return 0;
}
