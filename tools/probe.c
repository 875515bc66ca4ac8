/*
 * probe.exe - runs a program and reports the message boxes it shows.
 *
 *   probe.exe [--click ID]... [--timeout MS] [--marker] -- PROGRAM [ARGS...]
 *   probe.exe --osversion
 *
 * Starts PROGRAM and watches for visible top-level dialogs (class "#32770")
 * owned by its process. For each one it prints, one fact per line:
 *
 *   CAPTION <window text>
 *   TEXT <text of the static control 0xFFFF, the message box body>
 *   BUTTON <id> <text>          (one line per visible button)
 *   MARKER 1|0                  (with --marker: FindWindowA("vqdinst", "vqdinst"))
 *   CLICK <id>                  (NOBUTTON <id> when the box has no such button:
 *                                the program is then terminated, exit 255)
 *
 * then clicks a button: the first box gets the first --click ID, the second
 * box the second, and so on; the last ID given (IDOK when none) serves the
 * rest. Once the program ends it prints EXIT <code> with the full exit code
 * and exits with that code. NOBOX comes before EXIT when no box appeared at
 * all. When MS milliseconds (default 20000, 0 for no limit) pass first, it
 * prints TIMEOUT, terminates the program and exits 255.
 *
 * Texts are printed on one line: backslash as \\, CR as \r, LF as \n, tab
 * as \t and other control characters as \xHH (bash: printf '%b' undoes it).
 *
 * --osversion prints "OSVERSION <platform> <major> <minor> <build>" from
 * GetVersionExA (build number as reported, the low word on 9x) and exits 0.
 */
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define MAX_CLICKS 16
#define TEXT_MAX 16384

static int g_clicks[MAX_CLICKS];
static int g_nclicks;

static void put_escaped(const char *s)
{
    for (; *s; s++) {
        unsigned char c = (unsigned char)*s;
        if (c == '\\')
            fputs("\\\\", stdout);
        else if (c == '\r')
            fputs("\\r", stdout);
        else if (c == '\n')
            fputs("\\n", stdout);
        else if (c == '\t')
            fputs("\\t", stdout);
        else if (c < 0x20 || c == 0x7f)
            printf("\\x%02x", c);
        else
            putchar(c);
    }
}

static void put_fact(const char *key, const char *text)
{
    fputs(key, stdout);
    putchar(' ');
    put_escaped(text);
    putchar('\n');
    fflush(stdout);
}

/* Appends one argument to the command line with the quoting that the
 * Microsoft C runtime undoes: quotes around arguments with blanks or quotes,
 * backslashes doubled only where they precede a quote. */
static void append_arg(char *cmd, size_t size, const char *arg)
{
    size_t n = strlen(cmd);
    int quote = (*arg == '\0') || strpbrk(arg, " \t\"") != NULL;
    const char *p;

#define PUT(ch) do { if (n + 1 < size) cmd[n++] = (ch); } while (0)
    if (n > 0)
        PUT(' ');
    if (!quote) {
        for (p = arg; *p; p++)
            PUT(*p);
    } else {
        PUT('"');
        for (p = arg; ; p++) {
            size_t slashes = 0;
            while (*p == '\\') {
                slashes++;
                p++;
            }
            if (*p == '\0') {
                /* Double the trailing backslashes: the closing quote follows. */
                for (slashes *= 2; slashes > 0; slashes--)
                    PUT('\\');
                break;
            }
            if (*p == '"') {
                for (slashes = slashes * 2 + 1; slashes > 0; slashes--)
                    PUT('\\');
            } else {
                for (; slashes > 0; slashes--)
                    PUT('\\');
            }
            PUT(*p);
        }
        PUT('"');
    }
    cmd[n] = '\0';
#undef PUT
}

struct box_search {
    DWORD pid;
    HWND skip;
    HWND found;
};

static BOOL CALLBACK find_box(HWND hwnd, LPARAM lp)
{
    struct box_search *bs = (struct box_search *)lp;
    DWORD pid = 0;
    char cls[64];

    if (hwnd == bs->skip || !IsWindowVisible(hwnd))
        return TRUE;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != bs->pid)
        return TRUE;
    if (!GetClassNameA(hwnd, cls, sizeof cls) || strcmp(cls, "#32770") != 0)
        return TRUE;
    bs->found = hwnd;
    return FALSE;
}

static BOOL CALLBACK list_button(HWND hwnd, LPARAM lp)
{
    char cls[64];
    char text[1024];
    (void)lp;

    if (!IsWindowVisible(hwnd))
        return TRUE;
    if (!GetClassNameA(hwnd, cls, sizeof cls) || lstrcmpiA(cls, "Button") != 0)
        return TRUE;
    text[0] = '\0';
    GetWindowTextA(hwnd, text, sizeof text);
    printf("BUTTON %d ", GetDlgCtrlID(hwnd));
    put_escaped(text);
    putchar('\n');
    fflush(stdout);
    return TRUE;
}

static void report_box(HWND box, int marker)
{
    static char text[TEXT_MAX];
    DWORD_PTR ignored;

    /* Once the dialog's thread answers, it sits in the modal loop: the box
     * has been initialised and its texts are final. */
    SendMessageTimeoutA(box, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &ignored);

    text[0] = '\0';
    GetWindowTextA(box, text, sizeof text);
    put_fact("CAPTION", text);
    text[0] = '\0';
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    put_fact("TEXT", text);
    EnumChildWindows(box, list_button, 0);
    if (marker) {
        printf("MARKER %d\n", FindWindowA("vqdinst", "vqdinst") != NULL);
        fflush(stdout);
    }
}

/* Clicks button ID of the box; FALSE when the box has no such button. */
static BOOL click(HWND box, int id)
{
    HWND button = GetDlgItem(box, id);
    if (button == NULL || !IsWindowVisible(button)) {
        printf("NOBUTTON %d\n", id);
        fflush(stdout);
        return FALSE;
    }
    printf("CLICK %d\n", id);
    fflush(stdout);
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)button);
    return TRUE;
}

static int give_up(HANDLE process)
{
    TerminateProcess(process, 255);
    WaitForSingleObject(process, 5000);
    return 255;
}

static int usage(void)
{
    fputs("usage: probe.exe [--click ID]... [--timeout MS] [--marker] -- PROGRAM [ARGS...]\n"
          "       probe.exe --osversion\n", stderr);
    return 2;
}

static int os_version(void)
{
    OSVERSIONINFOA vi;
    DWORD build;

    memset(&vi, 0, sizeof vi);
    vi.dwOSVersionInfoSize = sizeof vi;
    if (!GetVersionExA(&vi)) {
        fprintf(stderr, "probe: GetVersionExA failed (%lu)\n", GetLastError());
        return 1;
    }
    build = vi.dwBuildNumber;
    if (vi.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS)
        build &= 0xFFFF;
    printf("OSVERSION %lu %lu %lu %lu\n", vi.dwPlatformId, vi.dwMajorVersion,
           vi.dwMinorVersion, build);
    return 0;
}

int main(int argc, char **argv)
{
    static char cmd[32768];
    DWORD timeout = 20000;
    int marker = 0;
    int boxes = 0;
    int i;
    STARTUPINFOA si;
    PROCESS_INFORMATION pi;
    DWORD start, code;
    HWND last = NULL;

    /* LF line ends, whatever the C runtime would make of them. */
    _setmode(_fileno(stdout), _O_BINARY);

    for (i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--") == 0) {
            i++;
            break;
        } else if (strcmp(argv[i], "--osversion") == 0) {
            return os_version();
        } else if (strcmp(argv[i], "--marker") == 0) {
            marker = 1;
        } else if (strcmp(argv[i], "--click") == 0 && i + 1 < argc) {
            if (g_nclicks == MAX_CLICKS)
                return usage();
            g_clicks[g_nclicks++] = atoi(argv[++i]);
        } else if (strcmp(argv[i], "--timeout") == 0 && i + 1 < argc) {
            timeout = (DWORD)strtoul(argv[++i], NULL, 10);
        } else {
            return usage();
        }
    }
    if (i >= argc)
        return usage();

    cmd[0] = '\0';
    for (; i < argc; i++)
        append_arg(cmd, sizeof cmd, argv[i]);

    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    if (!CreateProcessA(NULL, cmd, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi)) {
        fprintf(stderr, "probe: cannot start %s (error %lu)\n", cmd, GetLastError());
        return 255;
    }
    CloseHandle(pi.hThread);

    start = GetTickCount();
    for (;;) {
        struct box_search bs;

        if (WaitForSingleObject(pi.hProcess, 10) == WAIT_OBJECT_0)
            break;
        if (timeout != 0 && GetTickCount() - start >= timeout) {
            puts("TIMEOUT");
            fflush(stdout);
            return give_up(pi.hProcess);
        }
        bs.pid = pi.dwProcessId;
        bs.skip = last;
        bs.found = NULL;
        EnumWindows(find_box, (LPARAM)&bs);
        if (bs.found) {
            int id = g_nclicks == 0 ? IDOK
                   : g_clicks[boxes < g_nclicks ? boxes : g_nclicks - 1];
            report_box(bs.found, marker);
            if (!click(bs.found, id))
                return give_up(pi.hProcess);
            last = bs.found;
            boxes++;
        }
    }

    if (boxes == 0)
        puts("NOBOX");
    if (!GetExitCodeProcess(pi.hProcess, &code))
        code = 255;
    printf("EXIT %lu\n", code);
    fflush(stdout);
    CloseHandle(pi.hProcess);
    return (int)code;
}
