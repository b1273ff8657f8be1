/* installer_probe: the Windows side of the installer test.
     installer_probe run <exe> <devices> <help-record>
       starts the installed Delvora from its folder, waits for its sheet, checks that the
       device page is the one shown with one row per driver device and that no message
       box came up, sends Help, waits until <help-record> was written by the .htm handler
       below, and closes the sheet as its close box would.
     installer_probe record <file> <argument>
       the test prefix's handler of .htm files: writes <argument> (the page the shell was
       asked to open) to <file>.
   Exit code 0 when every check held; the first failure is printed to stderr. */
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

#define SHEET_TAB_CONTROL 0x3020
#define DEVICE_LIST 1000 /* IDC_DEVICE_LIST */
#define DELVORA_HELP 57670 /* ID_HELP */

static int Fail(const char* what) {
  fprintf(stderr, "installer_probe: %s\n", what);
  return 1;
}

struct WindowSearch {
  DWORD dwProcess;
  HWND hSheet;
  HWND hOther;
  int nOtherDialogs;
};

static BOOL CALLBACK CollectWindow(HWND window, LPARAM param) {
  struct WindowSearch* search = (struct WindowSearch*)param;
  DWORD dwProcess = 0;
  GetWindowThreadProcessId(window, &dwProcess);
  wchar_t className[32] = L"";
  GetClassNameW(window, className, 32);
  if (dwProcess != search->dwProcess || !IsWindowVisible(window) || wcscmp(className, L"#32770") != 0)
    return TRUE;
  if (GetDlgItem(window, SHEET_TAB_CONTROL) != NULL)
    search->hSheet = window;
  else {
    search->hOther = window;  /* a message box or a dialog of the program */
    ++search->nOtherDialogs;
  }
  return TRUE;
}

static struct WindowSearch FindWindows(DWORD dwProcess) {
  struct WindowSearch search = {dwProcess, NULL, NULL, 0};
  EnumWindows(CollectWindow, (LPARAM)&search);
  return search;
}

/* Fails with the text of the message box that came up. */
static BOOL CALLBACK PrintStatic(HWND window, LPARAM param) {
  (void)param;
  wchar_t className[32] = L"";
  wchar_t text[512] = L"";
  GetClassNameW(window, className, 32);
  if (_wcsicmp(className, L"Static") == 0 && GetWindowTextW(window, text, 512) > 0)
    fprintf(stderr, "installer_probe: the message box says: %ls\n", text);
  return TRUE;
}

static int FailWithMessageBox(DWORD dwProcess, const char* what) {
  struct WindowSearch search = FindWindows(dwProcess);
  if (search.hOther != NULL)
    EnumChildWindows(search.hOther, PrintStatic, 0);
  return Fail(what);
}

/* Written beside and then renamed, so that the waiting side never reads half a record. */
static int Record(const wchar_t* file, const wchar_t* argument) {
  wchar_t partial[MAX_PATH];
  _snwprintf(partial, MAX_PATH, L"%s.part", file);
  partial[MAX_PATH - 1] = L'\0';
  HANDLE h = CreateFileW(partial, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (h == INVALID_HANDLE_VALUE)
    return Fail("cannot write the record file");
  char text[1024];
  int n = WideCharToMultiByte(CP_UTF8, 0, argument, -1, text, (int)sizeof text, NULL, NULL);
  DWORD written = 0;
  BOOL ok = n > 0 && WriteFile(h, text, (DWORD)(n - 1), &written, NULL);
  CloseHandle(h);
  ok = ok && MoveFileExW(partial, file, MOVEFILE_REPLACE_EXISTING);
  return ok ? 0 : Fail("cannot write the record file");
}

static int Check(HWND sheet, int nDevices, const wchar_t* record, DWORD dwProcess) {
  HWND page = (HWND)SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0);
  HWND list = page != NULL ? GetDlgItem(page, DEVICE_LIST) : NULL;
  if (list == NULL)
    return Fail("the sheet does not show the device page");
  /* The first refresh fills the rows a moment after the sheet comes up. */
  int nRows = 0;
  for (int i = 0; i < 100 && (nRows = (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)) != nDevices; ++i)
    Sleep(100);
  if (nRows != nDevices) {
    fprintf(stderr, "installer_probe: the device page has %d rows, the driver %d devices\n", nRows, nDevices);
    return 1;
  }
  if (FindWindows(dwProcess).nOtherDialogs != 0)
    return FailWithMessageBox(dwProcess, "a message box came up beside the sheet");
  printf("sheet open on the device page with %d rows\n", nRows);

  DeleteFileW(record);
  PostMessageW(sheet, WM_COMMAND, MAKEWPARAM(DELVORA_HELP, 0), 0);
  for (int i = 0; i < 200 && GetFileAttributesW(record) == INVALID_FILE_ATTRIBUTES; ++i)
    Sleep(100);
  if (GetFileAttributesW(record) == INVALID_FILE_ATTRIBUTES) {
    return FindWindows(dwProcess).nOtherDialogs != 0 ? FailWithMessageBox(dwProcess, "Help showed a message box")
                                                      : Fail("Help opened nothing within 20 s");
  }
  printf("Help opened a page\n");
  return 0;
}

static int Run(const wchar_t* exe, int nDevices, const wchar_t* record) {
  wchar_t folder[MAX_PATH];
  wcsncpy(folder, exe, MAX_PATH - 1);
  folder[MAX_PATH - 1] = L'\0';
  wchar_t* slash = wcsrchr(folder, L'\\');
  if (slash == NULL)
    return Fail("the program's path has no folder");
  *slash = L'\0';

  wchar_t commandLine[MAX_PATH + 2];
  _snwprintf(commandLine, MAX_PATH + 2, L"\"%s\"", exe);
  commandLine[MAX_PATH + 1] = L'\0';
  STARTUPINFOW startup = {sizeof startup};
  PROCESS_INFORMATION process = {0};
  if (!CreateProcessW(exe, commandLine, NULL, NULL, FALSE, 0, NULL, folder, &startup, &process))
    return Fail("Delvora did not start");
  CloseHandle(process.hThread);

  HWND sheet = NULL;
  for (int i = 0; i < 300 && sheet == NULL; ++i) {
    if (WaitForSingleObject(process.hProcess, 100) == WAIT_OBJECT_0)
      break;
    sheet = FindWindows(process.dwProcessId).hSheet;
  }
  int rc = sheet != NULL ? Check(sheet, nDevices, record, process.dwProcessId)
                         : Fail("no sheet came up within 30 s");

  if (sheet != NULL)
    PostMessageW(sheet, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(process.hProcess, 15000) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, 5000);
    rc = rc != 0 ? rc : Fail("Delvora did not close within 15 s");
  } else if (rc == 0) {
    printf("Delvora closed\n");
  }
  CloseHandle(process.hProcess);
  return rc;
}

int wmain(int argc, wchar_t** argv) {
  if (argc == 5 && wcscmp(argv[1], L"run") == 0)
    return Run(argv[2], _wtoi(argv[3]), argv[4]);
  if (argc == 4 && wcscmp(argv[1], L"record") == 0)
    return Record(argv[2], argv[3]);
  fputs("usage: installer_probe run <exe> <devices> <help-record> | record <file> <argument>\n", stderr);
  return 2;
}
