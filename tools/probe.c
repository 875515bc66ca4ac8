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
 *
 * Steps for windows of the program's own (repeat --step STEP; they run in
 * the order given, each waiting within MS for what it needs, after which
 * the boxes are watched and answered as above):
 *
 *   probe.exe [OPTIONS] --step STEP [--step STEP]... -- PROGRAM [ARGS...]
 *
 *   dump:CLASS      waits for a visible top-level window of that class and
 *                   for its thread to take messages, then prints the window
 *                   as a block (below)
 *   state:CLASS     the block of a window of that class as it is now, shown
 *                   or hidden (waits only for the window to exist)
 *   shown:CLASS     waits until a window of that class is shown and prints
 *                   the block as it was at that moment: every show is
 *                   recorded from the start in order, and a step takes the
 *                   first one of its class not taken yet (shows of other
 *                   classes before it are passed over)
 *   click:CLASS:ID  waits until the button ID of the visible window of that
 *                   class is visible and enabled, prints PRESS <class> <id>
 *                   and clicks it (BM_CLICK, so the button takes the focus
 *                   as under the mouse), waiting until the click has been
 *                   handled; NOBUTTON <class> <id> when the window has no
 *                   such control (the program is then terminated, exit 255)
 *   click:CLASS:ID:shiftctrlalt
 *                   the same with Shift, Ctrl and Alt held down while the
 *                   button is clicked, as the program's GetKeyState sees
 *                   them (PRESS <class> <id> shiftctrlalt)
 *   close:CLASS     prints CLOSE <class> and closes the visible window of
 *                   that class as its close box or Alt+F4 would
 *                   (WM_SYSCOMMAND SC_CLOSE), waiting until it was handled
 *   box:ID          waits for a message box, prints it as above and clicks
 *                   button ID
 *   await:FILE      prints AWAIT FILE and waits until FILE exists (a path
 *                   without a colon, relative to the current directory):
 *                   a script acts on the program's windows meanwhile, e.g.
 *                   takes a screenshot, and creates FILE when it is done
 *
 * A window's block comes from inside the program (probehook.dll, beside
 * probe.exe, hooks the program's main thread), in these lines:
 *
 *   WINDOW <class> <visible 1|0> <caption>
 *   SIZE <window width> <window height> <client width> <client height>
 *   FOCUS <id of the control with the keyboard focus, 0 when none>
 *   CONTROL <id> <class> <visible 1|0> <enabled 1|0> <left> <top> <width>
 *           <height> <font height> <font weight> <font face> <text>
 *   END
 *
 * one CONTROL line (on one line) per child control in z-order, which is the
 * tab order; visible is the control's own WS_VISIBLE flag; the rectangle is
 * in the window's client coordinates; the font is the LOGFONT's lfHeight,
 * lfWeight and lfFaceName with its blanks as \x20 ("0 0 -" for a control
 * without a font of its own); the text is all that follows the blank after
 * the face and may begin with blanks. A shown window counts as visible.
 *
 * When the program ends while a step waits, the probe prints NOWINDOW
 * <step>, runs no further step and reports EXIT. When MS pass first, it
 * prints TIMEOUT <step> and a line VISIBLE <class> <caption> per visible
 * window of the program, terminates it and exits 255.
 */
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define MAX_CLICKS 16
#define MAX_STEPS 64
#define TEXT_MAX 16384

/* The kinds of block probehook.dll sends (WM_COPYDATA dwData). */
#define PROBE_SHOWN 1
#define PROBE_DESCRIBED 2

static int g_clicks[MAX_CLICKS];
static int g_nclicks;
static const char *g_steps[MAX_STEPS];
static int g_nsteps;

static PROCESS_INFORMATION g_pi;
static DWORD g_start;
static DWORD g_timeout = 20000;
static int g_marker;
static int g_boxes;            /* message boxes seen, in steps or not */
static HWND g_last;            /* the box clicked last: it may still be closing */

/* Blocks from probehook.dll: the shows not taken by a step yet, in order,
 * and the answer to the last describe request. */
struct show {
    struct show *next;
    char cls[64];
    char *block;
};
static struct show *g_shows;
static struct show **g_shows_end = &g_shows;
static char *g_described;

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

/* Takes a block sent by probehook.dll. */
static LRESULT CALLBACK reports_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_COPYDATA) {
        const COPYDATASTRUCT *data = (const COPYDATASTRUCT *)lp;
        char *block = malloc(data->cbData + 1);
        if (block == NULL)
            return FALSE;
        memcpy(block, data->lpData, data->cbData);
        block[data->cbData] = '\0';
        if (data->dwData == PROBE_SHOWN) {
            struct show *s = calloc(1, sizeof *s);
            if (s == NULL) {
                free(block);
                return FALSE;
            }
            GetClassNameA((HWND)wp, s->cls, sizeof s->cls);
            s->block = block;
            *g_shows_end = s;
            g_shows_end = &s->next;
        } else {
            free(g_described);
            g_described = block;
        }
        return TRUE;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

/* The message-only window probehook.dll finds by the program's process id,
 * and the hook on the program's main thread (started suspended). */
static int install_hook(void)
{
    static char path[MAX_PATH];
    char name[64], *slash;
    WNDCLASSA wc;
    HMODULE dll;
    FARPROC proc;

    memset(&wc, 0, sizeof wc);
    wc.lpfnWndProc = reports_proc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = "ProbeReports";
    RegisterClassA(&wc);
    sprintf(name, "probe %lu", g_pi.dwProcessId);
    if (!CreateWindowA("ProbeReports", name, 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, wc.hInstance, NULL)) {
        fprintf(stderr, "probe: no window for the reports (error %lu)\n", GetLastError());
        return 0;
    }
    GetModuleFileNameA(NULL, path, sizeof path);
    slash = strrchr(path, '\\');
    strcpy(slash ? slash + 1 : path, "probehook.dll");
    dll = LoadLibraryA(path);
    proc = dll ? GetProcAddress(dll, "probe_hook") : NULL;
    if (proc == NULL || !SetWindowsHookExA(WH_CALLWNDPROC, (HOOKPROC)proc, dll, g_pi.dwThreadId)) {
        fprintf(stderr, "probe: cannot hook the program with %s (error %lu)\n", path, GetLastError());
        return 0;
    }
    return 1;
}

/* Waits a little while serving the probe's own messages: probehook.dll
 * sends its blocks and waits until they are taken. TRUE once the program
 * has ended. */
static int tick(void)
{
    MSG msg;
    DWORD r = MsgWaitForMultipleObjects(1, &g_pi.hProcess, FALSE, 10, QS_ALLINPUT);
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
    return r == WAIT_OBJECT_0 || WaitForSingleObject(g_pi.hProcess, 0) == WAIT_OBJECT_0;
}

static int expired(void)
{
    return g_timeout != 0 && GetTickCount() - g_start >= g_timeout;
}

/* What is left of MS for a message sent to the program. */
static UINT remaining(void)
{
    DWORD used = GetTickCount() - g_start;
    if (g_timeout == 0)
        return 600000;
    return used >= g_timeout ? 1 : g_timeout - used;
}

struct window_search {
    DWORD pid;
    const char *cls;   /* NULL: any class */
    int visible_only;
    HWND skip;
    HWND found;
    int list;          /* print VISIBLE lines instead of finding */
};

static BOOL CALLBACK find_window(HWND hwnd, LPARAM lp)
{
    struct window_search *ws = (struct window_search *)lp;
    DWORD pid = 0;
    char cls[64];

    if (hwnd == ws->skip || (ws->visible_only && !IsWindowVisible(hwnd)))
        return TRUE;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != ws->pid)
        return TRUE;
    if (!GetClassNameA(hwnd, cls, sizeof cls))
        return TRUE;
    if (ws->list) {
        static char text[TEXT_MAX];
        text[0] = '\0';
        GetWindowTextA(hwnd, text, sizeof text);
        printf("VISIBLE %s ", cls);
        put_escaped(text);
        putchar('\n');
        return TRUE;
    }
    if (ws->cls && strcmp(cls, ws->cls) != 0)
        return TRUE;
    ws->found = hwnd;
    return FALSE;
}

static HWND find_top(const char *cls, int visible_only, HWND skip)
{
    struct window_search ws;
    memset(&ws, 0, sizeof ws);
    ws.pid = g_pi.dwProcessId;
    ws.cls = cls;
    ws.visible_only = visible_only;
    ws.skip = skip;
    EnumWindows(find_window, (LPARAM)&ws);
    return ws.found;
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

static void report_box(HWND box)
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
    if (g_marker) {
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

/* ---- steps ------------------------------------------------------------ */

enum { STEP_DONE, STEP_ENDED, STEP_EXPIRED, STEP_FAILED };

/* Waits for a top-level window of the class (visible ones only when asked). */
static int wait_top(const char *cls, int visible_only, HWND skip, HWND *found)
{
    for (;;) {
        if ((*found = find_top(cls, visible_only, skip)) != NULL)
            return STEP_DONE;
        if (tick())
            return STEP_ENDED;
        if (expired())
            return STEP_EXPIRED;
    }
}

/* Asks probehook.dll in the program for the block of the window. */
static int print_described(HWND window)
{
    static UINT describe_message;
    DWORD_PTR ignored;

    if (describe_message == 0)
        describe_message = RegisterWindowMessageA("ProbeDescribe");
    free(g_described);
    g_described = NULL;
    SendMessageTimeoutA(window, describe_message, 0, 0, SMTO_NORMAL, remaining(), &ignored);
    if (g_described == NULL)
        return WaitForSingleObject(g_pi.hProcess, 0) == WAIT_OBJECT_0 ? STEP_ENDED : STEP_EXPIRED;
    fputs(g_described, stdout);
    fflush(stdout);
    return STEP_DONE;
}

static int step_shown(const char *cls)
{
    for (;;) {
        while (g_shows) {
            struct show *s = g_shows;
            int match = strcmp(s->cls, cls) == 0;
            g_shows = s->next;
            if (g_shows == NULL)
                g_shows_end = &g_shows;
            if (match) {
                fputs(s->block, stdout);
                fflush(stdout);
            }
            free(s->block);
            free(s);
            if (match)
                return STEP_DONE;
        }
        if (tick())
            return STEP_ENDED;
        if (expired())
            return STEP_EXPIRED;
    }
}

/* BM_CLICK, sent: the button takes the focus and notifies its window, and
 * the send returns once the window has handled the click. For the keys, the
 * probe shares the program thread's input state (AttachThreadInput), whose
 * key state its GetKeyState reads, for the time of the click. */
static void press(HWND window, HWND button, int shiftctrlalt)
{
    static const int keys[] = { VK_SHIFT, VK_CONTROL, VK_MENU, VK_LSHIFT, VK_LCONTROL, VK_LMENU };
    DWORD thread = GetWindowThreadProcessId(window, NULL);
    BYTE state[256];
    DWORD_PTR ignored;
    size_t k;
    int attached = 0;

    if (shiftctrlalt && AttachThreadInput(GetCurrentThreadId(), thread, TRUE)) {
        attached = 1;
        GetKeyboardState(state);
        for (k = 0; k < sizeof keys / sizeof keys[0]; k++)
            state[keys[k]] = 0x80;
        SetKeyboardState(state);
    }
    SendMessageTimeoutA(button, BM_CLICK, 0, 0, SMTO_NORMAL, remaining(), &ignored);
    if (attached) {
        for (k = 0; k < sizeof keys / sizeof keys[0]; k++)
            state[keys[k]] = 0;
        SetKeyboardState(state);
        AttachThreadInput(GetCurrentThreadId(), thread, FALSE);
    }
}

static int step_click(const char *cls, int id, int shiftctrlalt)
{
    HWND window, button;
    int rc;

    for (;;) {
        if ((rc = wait_top(cls, 1, NULL, &window)) != STEP_DONE)
            return rc;
        button = GetDlgItem(window, id);
        if (button == NULL) {
            printf("NOBUTTON %s %d\n", cls, id);
            fflush(stdout);
            return STEP_FAILED;
        }
        if (IsWindowVisible(button) && IsWindowEnabled(button))
            break;
        if (tick())
            return STEP_ENDED;
        if (expired())
            return STEP_EXPIRED;
    }
    printf("PRESS %s %d%s\n", cls, id, shiftctrlalt ? " shiftctrlalt" : "");
    fflush(stdout);
    press(window, button, shiftctrlalt);
    return STEP_DONE;
}

static int step_close(const char *cls)
{
    HWND window;
    DWORD_PTR ignored;
    int rc = wait_top(cls, 1, NULL, &window);
    if (rc != STEP_DONE)
        return rc;
    printf("CLOSE %s\n", cls);
    fflush(stdout);
    SendMessageTimeoutA(window, WM_SYSCOMMAND, SC_CLOSE, 0, SMTO_NORMAL, remaining(), &ignored);
    return STEP_DONE;
}

static int step_box(int id)
{
    HWND box;
    int rc = wait_top("#32770", 1, g_last, &box);
    if (rc != STEP_DONE)
        return rc;
    report_box(box);
    if (!click(box, id))
        return STEP_FAILED;
    g_last = box;
    g_boxes++;
    return STEP_DONE;
}

/* Keeps serving the hook's reports while the script is busy, so the
 * program never waits on the probe. */
static int step_await(const char *file)
{
    printf("AWAIT %s\n", file);
    fflush(stdout);
    for (;;) {
        if (GetFileAttributesA(file) != INVALID_FILE_ATTRIBUTES)
            return STEP_DONE;
        if (tick())
            return STEP_ENDED;
        if (expired())
            return STEP_EXPIRED;
    }
}

/* Runs one step; the step was checked by valid_step. */
static int run_step(const char *step)
{
    char kind[16], cls[256], extra[64];
    const char *colon = strchr(step, ':');
    const char *rest = colon + 1;
    const char *colon2 = strchr(rest, ':');
    HWND window;
    int rc;

    memcpy(kind, step, colon - step);
    kind[colon - step] = '\0';
    if (strcmp(kind, "box") == 0)
        return step_box(atoi(rest));
    if (strcmp(kind, "click") == 0) {
        size_t n = colon2 - rest;
        memcpy(cls, rest, n);
        cls[n] = '\0';
        strcpy(extra, colon2 + 1);
        return step_click(cls, atoi(extra), strstr(extra, ":shiftctrlalt") != NULL);
    }
    strcpy(cls, rest);
    if (strcmp(kind, "shown") == 0)
        return step_shown(cls);
    if (strcmp(kind, "close") == 0)
        return step_close(cls);
    if (strcmp(kind, "await") == 0)
        return step_await(cls);
    /* dump and state */
    rc = wait_top(cls, strcmp(kind, "dump") == 0, NULL, &window);
    return rc == STEP_DONE ? print_described(window) : rc;
}

static int valid_number(const char *s, const char *end)
{
    if (s == end)
        return 0;
    for (; s < end; s++)
        if (*s < '0' || *s > '9')
            return 0;
    return 1;
}

static int valid_step(const char *step)
{
    const char *colon = strchr(step, ':');
    const char *rest, *colon2;
    size_t n;

    if (colon == NULL || colon[1] == '\0')
        return 0;
    rest = colon + 1;
    n = colon - step;
    if (n == 3 && strncmp(step, "box", 3) == 0)
        return valid_number(rest, rest + strlen(rest));
    if (n == 5 && strncmp(step, "click", 5) == 0) {
        const char *id, *end;
        colon2 = strchr(rest, ':');
        if (colon2 == NULL || colon2 == rest || colon2 - rest >= 256)
            return 0;
        id = colon2 + 1;
        end = strchr(id, ':');
        if (end == NULL)
            end = id + strlen(id);
        else if (strcmp(end, ":shiftctrlalt") != 0)
            return 0;
        return end - id < 16 && valid_number(id, end);
    }
    if (strlen(rest) >= 256 || strchr(rest, ':') != NULL)
        return 0;
    return (n == 4 && strncmp(step, "dump", 4) == 0) || (n == 5 && strncmp(step, "state", 5) == 0) ||
           (n == 5 && strncmp(step, "shown", 5) == 0) || (n == 5 && strncmp(step, "close", 5) == 0) ||
           (n == 5 && strncmp(step, "await", 5) == 0);
}

static int usage(void)
{
    fputs("usage: probe.exe [--click ID]... [--timeout MS] [--marker] [--step STEP]... -- PROGRAM [ARGS...]\n"
          "       probe.exe --osversion\n"
          "STEP: dump:CLASS state:CLASS shown:CLASS click:CLASS:ID[:shiftctrlalt] close:CLASS box:ID await:FILE\n",
          stderr);
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
    int watched = 0;
    int i;
    STARTUPINFOA si;
    DWORD code;

    /* LF line ends, whatever the C runtime would make of them. */
    _setmode(_fileno(stdout), _O_BINARY);

    for (i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--") == 0) {
            i++;
            break;
        } else if (strcmp(argv[i], "--osversion") == 0) {
            return os_version();
        } else if (strcmp(argv[i], "--marker") == 0) {
            g_marker = 1;
        } else if (strcmp(argv[i], "--click") == 0 && i + 1 < argc) {
            if (g_nclicks == MAX_CLICKS)
                return usage();
            g_clicks[g_nclicks++] = atoi(argv[++i]);
        } else if (strcmp(argv[i], "--timeout") == 0 && i + 1 < argc) {
            g_timeout = (DWORD)strtoul(argv[++i], NULL, 10);
        } else if (strcmp(argv[i], "--step") == 0 && i + 1 < argc) {
            if (g_nsteps == MAX_STEPS || !valid_step(argv[i + 1]))
                return usage();
            g_steps[g_nsteps++] = argv[++i];
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
    /* With steps, the program starts suspended until its main thread is
     * hooked, so that no show escapes the record. */
    if (!CreateProcessA(NULL, cmd, NULL, NULL, FALSE, g_nsteps ? CREATE_SUSPENDED : 0, NULL, NULL, &si, &g_pi)) {
        fprintf(stderr, "probe: cannot start %s (error %lu)\n", cmd, GetLastError());
        return 255;
    }
    if (g_nsteps) {
        if (!install_hook())
            return give_up(g_pi.hProcess);
        ResumeThread(g_pi.hThread);
    }
    CloseHandle(g_pi.hThread);

    g_start = GetTickCount();
    for (i = 0; i < g_nsteps; i++) {
        int rc = run_step(g_steps[i]);
        if (rc == STEP_FAILED)
            return give_up(g_pi.hProcess);
        if (rc == STEP_EXPIRED) {
            struct window_search ws;
            printf("TIMEOUT %s\n", g_steps[i]);
            memset(&ws, 0, sizeof ws);
            ws.pid = g_pi.dwProcessId;
            ws.visible_only = 1;
            ws.list = 1;
            EnumWindows(find_window, (LPARAM)&ws);
            fflush(stdout);
            return give_up(g_pi.hProcess);
        }
        if (rc == STEP_ENDED) {
            printf("NOWINDOW %s\n", g_steps[i]);
            fflush(stdout);
            break;
        }
    }

    for (;;) {
        HWND box;

        if (tick())
            break;
        if (expired()) {
            puts("TIMEOUT");
            fflush(stdout);
            return give_up(g_pi.hProcess);
        }
        box = find_top("#32770", 1, g_last);
        if (box) {
            int id = g_nclicks == 0 ? IDOK
                   : g_clicks[watched < g_nclicks ? watched : g_nclicks - 1];
            report_box(box);
            if (!click(box, id))
                return give_up(g_pi.hProcess);
            g_last = box;
            g_boxes++;
            watched++;
        }
    }

    if (g_boxes == 0)
        puts("NOBOX");
    if (!GetExitCodeProcess(g_pi.hProcess, &code))
        code = 255;
    printf("EXIT %lu\n", code);
    fflush(stdout);
    CloseHandle(g_pi.hProcess);
    return (int)code;
}
