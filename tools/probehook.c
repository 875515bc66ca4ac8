/*
 * probehook.dll - the part of probe.exe that runs inside the probed program.
 *
 * probe.exe hooks the started program's main thread with the WH_CALLWNDPROC
 * procedure below. Running on that thread, it sees each window the moment it
 * is shown (WM_SHOWWINDOW, before the window becomes visible; Wine 8 raises
 * no EVENT_OBJECT_SHOW for SetWinEventHook, only EVENT_OBJECT_CREATE and
 * EVENT_OBJECT_FOCUS, and those arrive after the fact) and can read
 * what another process cannot: a control's font (WM_GETFONT is answered with
 * 0 across processes under Wine, and a font handle means nothing outside its
 * process) and the keyboard focus. It describes a window as a block of lines
 * and sends the block with WM_COPYDATA to the probe's message-only window
 * "probe <pid of this process>"; the send waits until the probe has it, so a
 * show is reported with the texts it was shown with.
 *
 *   WM_SHOWWINDOW (shown)          a block with dwData PROBE_SHOWN
 *   the message "ProbeDescribe"    a block of the window it was sent to,
 *                                  dwData PROBE_DESCRIBED
 *
 * The block (texts escaped as probe.exe escapes them, fields one blank
 * apart):
 *
 *   WINDOW <class> <visible 1|0> <caption>
 *   SIZE <window width> <window height> <client width> <client height>
 *   FOCUS <id of the child control with the keyboard focus, 0 when none>
 *   CONTROL <id> <class> <visible 1|0> <enabled 1|0> <left> <top> <width>
 *           <height> <font height> <font weight> <font face> <text>
 *   END
 *
 * one CONTROL line per child window in z-order (the tab order), all on one
 * line. Visible is the control's own WS_VISIBLE; a shown window counts as
 * visible. The rectangle is in the window's client coordinates. The font is
 * LOGFONT's lfHeight, lfWeight and lfFaceName with blanks written \x20 ("0 0
 * -" when the control has no font of its own). The text is everything after
 * the blank that follows the face, so it may begin or end with blanks.
 */
#include <windows.h>
#include <stdio.h>
#include <string.h>

#define PROBE_SHOWN 1
#define PROBE_DESCRIBED 2
#define BLOCK_MAX 65536

struct block {
    char text[BLOCK_MAX];
    size_t used;
};

static void put(struct block *b, const char *s)
{
    size_t n = strlen(s);
    if (b->used + n >= BLOCK_MAX)
        n = BLOCK_MAX - 1 - b->used;
    memcpy(b->text + b->used, s, n);
    b->used += n;
    b->text[b->used] = '\0';
}

/* As probe.exe: backslash, CR, LF, tab and other control characters
 * escaped; blanks too when asked (for the face, a field of its own). */
static void put_escaped(struct block *b, const char *s, int blanks)
{
    char one[8];
    for (; *s; s++) {
        unsigned char c = (unsigned char)*s;
        if (c == '\\')
            put(b, "\\\\");
        else if (c == '\r')
            put(b, "\\r");
        else if (c == '\n')
            put(b, "\\n");
        else if (c == '\t')
            put(b, "\\t");
        else if (c < 0x20 || c == 0x7f || (blanks && c == ' ')) {
            sprintf(one, "\\x%02x", c);
            put(b, one);
        } else {
            one[0] = (char)c;
            one[1] = '\0';
            put(b, one);
        }
    }
}

static void put_control(struct block *b, HWND window, HWND control)
{
    char cls[64], line[256];
    static char text[16384];
    RECT r;
    LOGFONTA lf;
    HFONT font = (HFONT)SendMessageA(control, WM_GETFONT, 0, 0);
    LONG style = GetWindowLongA(control, GWL_STYLE);

    cls[0] = text[0] = '\0';
    GetClassNameA(control, cls, sizeof cls);
    GetWindowTextA(control, text, sizeof text);
    GetWindowRect(control, &r);
    MapWindowPoints(NULL, window, (POINT *)&r, 2);
    sprintf(line, "CONTROL %d %s %d %d %ld %ld %ld %ld ", GetDlgCtrlID(control), cls,
            (style & WS_VISIBLE) != 0, IsWindowEnabled(control) != 0, r.left, r.top,
            r.right - r.left, r.bottom - r.top);
    put(b, line);
    memset(&lf, 0, sizeof lf);
    if (font && GetObjectA(font, sizeof lf, &lf)) {
        sprintf(line, "%ld %ld ", lf.lfHeight, lf.lfWeight);
        put(b, line);
        put_escaped(b, lf.lfFaceName, 1);
    } else {
        put(b, "0 0 -");
    }
    put(b, " ");
    put_escaped(b, text, 0);
    put(b, "\n");
}

static void describe(struct block *b, HWND window, int shown)
{
    char cls[64], line[128];
    static char caption[16384];
    RECT wr, cr;
    HWND child, focus = GetFocus();

    b->used = 0;
    b->text[0] = '\0';
    cls[0] = caption[0] = '\0';
    GetClassNameA(window, cls, sizeof cls);
    GetWindowTextA(window, caption, sizeof caption);
    put(b, "WINDOW ");
    put_escaped(b, cls, 1);
    put(b, shown || IsWindowVisible(window) ? " 1 " : " 0 ");
    put_escaped(b, caption, 0);
    GetWindowRect(window, &wr);
    GetClientRect(window, &cr);
    sprintf(line, "\nSIZE %ld %ld %ld %ld\nFOCUS %d\n", wr.right - wr.left, wr.bottom - wr.top,
            cr.right, cr.bottom, focus && IsChild(window, focus) ? GetDlgCtrlID(focus) : 0);
    put(b, line);
    for (child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        put_control(b, window, child);
    put(b, "END\n");
}

static void send_block(HWND window, int kind)
{
    static struct block b;
    char name[64];
    HWND probe;
    COPYDATASTRUCT data;
    DWORD_PTR ignored;

    sprintf(name, "probe %lu", GetCurrentProcessId());
    probe = FindWindowExA(HWND_MESSAGE, NULL, "ProbeReports", name);
    if (probe == NULL)
        return;
    describe(&b, window, kind == PROBE_SHOWN);
    data.dwData = kind;
    data.cbData = (DWORD)b.used + 1;
    data.lpData = b.text;
    SendMessageTimeoutA(probe, WM_COPYDATA, (WPARAM)window, (LPARAM)&data, SMTO_ABORTIFHUNG, 10000,
                        &ignored);
}

__declspec(dllexport) LRESULT CALLBACK probe_hook(int code, WPARAM wp, LPARAM lp)
{
    static UINT describe_message;
    const CWPSTRUCT *c = (const CWPSTRUCT *)lp;

    if (describe_message == 0)
        describe_message = RegisterWindowMessageA("ProbeDescribe");
    if (code == HC_ACTION) {
        if (c->message == WM_SHOWWINDOW && c->wParam &&
            !(GetWindowLongA(c->hwnd, GWL_STYLE) & WS_CHILD))
            send_block(c->hwnd, PROBE_SHOWN);
        else if (c->message == describe_message)
            send_block(c->hwnd, PROBE_DESCRIBED);
    }
    return CallNextHookEx(NULL, code, wp, lp);
}
