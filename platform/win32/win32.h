// The operating-system functions the module calls, with the Windows names, arguments and
// results its callers rely on, implemented over POSIX. The input, window and display state
// behind them is kept in this process and set by the host and by tests (win32/win32_state.h).
#pragma once
#include "platform_api.h"
#include <pthread.h>

#include <cstdint>
#include <string>
#include <vector>

#include "win32/crt_string.h"
#include "win32/win32_types.h"

// ---------------------------------------------------------------------------------------
// Constants

// Last-error codes.
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_BAD_FORMAT = 11;
constexpr DWORD ERROR_SHARING_VIOLATION = 32;
constexpr DWORD ERROR_HANDLE_EOF = 38;
constexpr DWORD ERROR_NOT_SUPPORTED = 50;
constexpr DWORD ERROR_FILE_EXISTS = 80;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_ALREADY_EXISTS = 183;
constexpr DWORD ERROR_INVALID_ADDRESS = 487;
constexpr DWORD ERROR_INVALID_FLAGS = 1004;
constexpr DWORD ERROR_NO_UNICODE_TRANSLATION = 1113;
constexpr DWORD ERROR_MAPPED_ALIGNMENT = 1132;

// Waiting.
constexpr DWORD INFINITE = 0xFFFFFFFFu;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 0x102;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;

// Virtual keys.
constexpr int VK_LBUTTON = 0x01;
constexpr int VK_RBUTTON = 0x02;
constexpr int VK_MBUTTON = 0x04;
constexpr int VK_BACK = 0x08;
constexpr int VK_TAB = 0x09;
constexpr int VK_RETURN = 0x0D;
constexpr int VK_SHIFT = 0x10;
constexpr int VK_CONTROL = 0x11;
constexpr int VK_MENU = 0x12;
constexpr int VK_CAPITAL = 0x14;
constexpr int VK_ESCAPE = 0x1B;
constexpr int VK_SPACE = 0x20;
constexpr int VK_PRIOR = 0x21;
constexpr int VK_NEXT = 0x22;
constexpr int VK_END = 0x23;
constexpr int VK_HOME = 0x24;
constexpr int VK_LEFT = 0x25;
constexpr int VK_UP = 0x26;
constexpr int VK_RIGHT = 0x27;
constexpr int VK_DOWN = 0x28;
constexpr int VK_SNAPSHOT = 0x2C;
constexpr int VK_INSERT = 0x2D;
constexpr int VK_DELETE = 0x2E;
constexpr int VK_ADD = 0x6B;
constexpr int VK_SUBTRACT = 0x6D;
constexpr int VK_F1 = 0x70;

// Window messages.
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_CHAR = 0x0102;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_RBUTTONUP = 0x0205;
constexpr UINT WM_MBUTTONDOWN = 0x0207;
constexpr UINT WM_MBUTTONUP = 0x0208;
constexpr UINT WM_MOUSEWHEEL = 0x020A;
constexpr UINT WM_USER = 0x0400;

// Screen metrics.
constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;

// Code pages and conversion flags.
constexpr UINT CP_ACP = 0;
constexpr UINT CP_OEMCP = 1;
constexpr UINT CP_THREAD_ACP = 3;
constexpr UINT CP_UTF8 = 65001;
constexpr DWORD MB_PRECOMPOSED = 0x01;
constexpr DWORD MB_ERR_INVALID_CHARS = 0x08;
constexpr DWORD WC_ERR_INVALID_CHARS = 0x80;

// File mappings.
constexpr DWORD PAGE_READONLY = 0x02;
constexpr DWORD PAGE_READWRITE = 0x04;
constexpr DWORD FILE_MAP_WRITE = 0x0002;
constexpr DWORD FILE_MAP_READ = 0x0004;
constexpr DWORD FILE_MAP_ALL_ACCESS = 0x000F001Fu;

// Processes and threads.
constexpr DWORD CREATE_SUSPENDED = 0x00000004;
constexpr DWORD NORMAL_PRIORITY_CLASS = 0x00000020;
constexpr DWORD REALTIME_PRIORITY_CLASS = 0x00000100;
constexpr DWORD CREATE_NO_WINDOW = 0x08000000;
constexpr DWORD STARTF_USESTDHANDLES = 0x00000100;

// ---------------------------------------------------------------------------------------
// Records

struct SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;
  BOOL bInheritHandle;
};
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

struct STARTUPINFOA {
  DWORD cb;
  LPSTR lpReserved;
  LPSTR lpDesktop;
  LPSTR lpTitle;
  DWORD dwX;
  DWORD dwY;
  DWORD dwXSize;
  DWORD dwYSize;
  DWORD dwXCountChars;
  DWORD dwYCountChars;
  DWORD dwFillAttribute;
  DWORD dwFlags;
  WORD wShowWindow;
  WORD cbReserved2;
  LPBYTE lpReserved2;
  HANDLE hStdInput;
  HANDLE hStdOutput;
  HANDLE hStdError;
};
using LPSTARTUPINFOA = STARTUPINFOA*;

struct PROCESS_INFORMATION {
  HANDLE hProcess;
  HANDLE hThread;
  DWORD dwProcessId;
  DWORD dwThreadId;
};
using LPPROCESS_INFORMATION = PROCESS_INFORMATION*;

// A recursive lock: the owning thread may enter it again and leaves it as often.
struct CRITICAL_SECTION {
  pthread_mutex_t mutex;
};
using LPCRITICAL_SECTION = CRITICAL_SECTION*;

using LPTHREAD_START_ROUTINE = DWORD(WINAPI*)(LPVOID);

// ---------------------------------------------------------------------------------------
// Functions

// Errors of the calling thread.
FOOTLIGHT_PLATFORM_API DWORD GetLastError();
FOOTLIGHT_PLATFORM_API void SetLastError(DWORD error);

// The debug output: lines are kept by the platform (win32::DebugOutput), never printed.
FOOTLIGHT_PLATFORM_API void OutputDebugStringA(LPCSTR text);

// Time. timeGetTime is milliseconds from an arbitrary start, wrapping at 2^32; tests may put
// it on a manual clock (win32/win32_state.h). Sleep(0) only yields.
FOOTLIGHT_PLATFORM_API void Sleep(DWORD milliseconds);
FOOTLIGHT_PLATFORM_API DWORD timeGetTime();

// Input. GetAsyncKeyState: bit 15 set (a negative result) while the key is down, bit 0 when
// it went down since the previous query of that key. GetKeyboardState fills 256 bytes: 0x80
// for a key that is down, bit 0 for the toggle state.
FOOTLIGHT_PLATFORM_API SHORT GetAsyncKeyState(int virtualKey);
FOOTLIGHT_PLATFORM_API BOOL GetKeyboardState(PBYTE keyState);
FOOTLIGHT_PLATFORM_API BOOL GetCursorPos(LPPOINT point);
FOOTLIGHT_PLATFORM_API BOOL SetCursorPos(int x, int y);
FOOTLIGHT_PLATFORM_API BOOL ClientToScreen(HWND window, LPPOINT point);
FOOTLIGHT_PLATFORM_API BOOL ScreenToClient(HWND window, LPPOINT point);
FOOTLIGHT_PLATFORM_API HWND SetCapture(HWND window);
FOOTLIGHT_PLATFORM_API BOOL ReleaseCapture();
FOOTLIGHT_PLATFORM_API HWND GetCapture();
FOOTLIGHT_PLATFORM_API HWND GetForegroundWindow();
FOOTLIGHT_PLATFORM_API int GetSystemMetrics(int index);

// Display. A device context is a token handed out per call; the ramp is 3 x 256 words
// (red, green, blue).
FOOTLIGHT_PLATFORM_API HDC GetWindowDC(HWND window);
FOOTLIGHT_PLATFORM_API int ReleaseDC(HWND window, HDC dc);
FOOTLIGHT_PLATFORM_API BOOL SetDeviceGammaRamp(HDC dc, LPVOID ramp);
FOOTLIGHT_PLATFORM_API BOOL GetDeviceGammaRamp(HDC dc, LPVOID ramp);

// Text. The ANSI code pages (CP_ACP, CP_OEMCP, CP_THREAD_ACP) are UTF-8 here, as is CP_UTF8;
// other code pages are refused (ERROR_INVALID_PARAMETER). Wide characters are wchar_t code
// points; a surrogate pair in wide input counts as the character it encodes. Lengths follow
// Windows: -1 takes the input through its NUL, which is converted and counted too; an output
// size of 0 returns the size needed; an output that is too small returns 0 with
// ERROR_INSUFFICIENT_BUFFER and is left holding an empty string. Invalid input becomes
// U+FFFD (CP_ACP: the default character, '?' unless given), or fails with
// ERROR_NO_UNICODE_TRANSLATION under MB_ERR_INVALID_CHARS / WC_ERR_INVALID_CHARS.
FOOTLIGHT_PLATFORM_API int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int textBytes, LPWSTR wide, int wideChars);
FOOTLIGHT_PLATFORM_API int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideChars, LPSTR text, int textBytes,
                                               LPCSTR defaultChar, LPBOOL usedDefaultChar);

// Locks and atomics.
FOOTLIGHT_PLATFORM_API void InitializeCriticalSection(LPCRITICAL_SECTION section);
FOOTLIGHT_PLATFORM_API void EnterCriticalSection(LPCRITICAL_SECTION section);
FOOTLIGHT_PLATFORM_API void LeaveCriticalSection(LPCRITICAL_SECTION section);
FOOTLIGHT_PLATFORM_API void DeleteCriticalSection(LPCRITICAL_SECTION section);
FOOTLIGHT_PLATFORM_API LONG InterlockedExchange(LONG volatile* target, LONG value);

// COM initialisation, counted per thread: the first CoInitialize of a thread returns S_OK,
// each further one S_FALSE; every call is matched by a CoUninitialize.
FOOTLIGHT_PLATFORM_API HRESULT CoInitialize(LPVOID reserved);
FOOTLIGHT_PLATFORM_API void CoUninitialize();

// Kernel objects: threads, processes and file mappings. Their handles are closed with
// CloseHandle; an object lives on while it runs or is mapped, so closing a handle early is
// safe. Finished threads and child processes are reaped without anyone waiting for them.
FOOTLIGHT_PLATFORM_API HANDLE CreateThread(LPSECURITY_ATTRIBUTES attributes, SIZE_T stackSize, LPTHREAD_START_ROUTINE start,
                                           LPVOID parameter, DWORD creationFlags, LPDWORD threadId);
FOOTLIGHT_PLATFORM_API DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds);
FOOTLIGHT_PLATFORM_API BOOL CloseHandle(HANDLE object);

// Starts a program. The application name, when given, is the file to run ('\' read as '/'; a
// bare name is looked up beside the running program only, never in the current folder);
// otherwise the command line's first word is, searched along PATH. The command
// line is split into arguments by the Windows C runtime's rules (win32::SplitCommandLine).
// STARTF_USESTDHANDLES with null handles gives the child no standard streams (/dev/null);
// without it the child shares ours. Priority classes and window flags have no effect;
// CREATE_SUSPENDED is refused. Without a current directory the child starts in the resource
// root (win32::GetResourceRoot), the module's own. Environment: null inherits ours, else a block of
// "NAME=value\0" strings ending with an empty one.
FOOTLIGHT_PLATFORM_API BOOL CreateProcessA(LPCSTR applicationName, LPSTR commandLine, LPSECURITY_ATTRIBUTES processAttributes,
                                           LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles, DWORD creationFlags,
                                           LPVOID environment, LPCSTR currentDirectory, LPSTARTUPINFOA startupInfo,
                                           LPPROCESS_INFORMATION processInformation);

// Named shared memory, seen by every process of the machine under its name (POSIX shared
// memory "/<prefix><name>" with win32::IpcPrefix(), '/' and '\' in the name read as '_'). Only memory-backed mappings
// (file INVALID_HANDLE_VALUE) exist. A name that exists already is opened, with
// ERROR_ALREADY_EXISTS. Every handle CreateFileMappingA gives out, and every view made through
// it, holds the name, in whichever process: the name lives until the last of them is gone, and
// whoever lets go last removes it. OpenFileMappingA reads a name without holding it, and a name
// made by anything else stays until its maker removes it. Views start at multiples of 65536
// bytes; size 0 maps to the end.
FOOTLIGHT_PLATFORM_API HANDLE CreateFileMappingA(HANDLE file, LPSECURITY_ATTRIBUTES attributes, DWORD protect, DWORD maximumSizeHigh,
                                                 DWORD maximumSizeLow, LPCSTR name);
FOOTLIGHT_PLATFORM_API HANDLE OpenFileMappingA(DWORD desiredAccess, BOOL inheritHandle, LPCSTR name);
FOOTLIGHT_PLATFORM_API LPVOID MapViewOfFile(HANDLE mapping, DWORD desiredAccess, DWORD offsetHigh, DWORD offsetLow, SIZE_T bytes);
FOOTLIGHT_PLATFORM_API BOOL UnmapViewOfFile(LPCVOID baseAddress);

namespace win32 {

// The Windows C runtime's generator, one per thread, seeded 1 on each thread:
// seed = seed * 214013 + 2531011, result (seed >> 16) & 0x7fff.
constexpr int kRandMax = 0x7fff;
FOOTLIGHT_PLATFORM_API int rand();
FOOTLIGHT_PLATFORM_API void srand(unsigned int seed);

// The arguments of a command line, split as the Windows C runtime splits them: blanks (space,
// tab) separate arguments; 2n backslashes before '"' give n backslashes and the quote opens or
// closes a quoted run; 2n+1 backslashes before '"' give n backslashes and a literal '"';
// other backslashes are literal; "" inside a quoted run is a literal '"'. The first word, the
// program, is taken up to the next blank, or between quotes when it starts with one, with no
// escapes.
FOOTLIGHT_PLATFORM_API std::vector<std::string> SplitCommandLine(const char* commandLine);

// What goes before the names that processes of the machine share (file mappings, the host's
// message socket, the film player's pid files): the environment variable FOOTLIGHT_IPC_PREFIX,
// empty when unset. Runs with different prefixes never meet.
FOOTLIGHT_PLATFORM_API std::string IpcPrefix();

// Tests: while a hook is set, CreateProcessA starts nothing; it hands its arguments to the hook,
// returns what the hook returns and gives back null handles.
using ProcessStartHook = BOOL (*)(LPCSTR applicationName, LPCSTR commandLine, DWORD creationFlags,
                                  const STARTUPINFOA* startupInfo);
FOOTLIGHT_PLATFORM_API void SetProcessStartHook(ProcessStartHook hook);

}  // namespace win32
