/* sheetpage: selects a page of Delvora's running property sheet, as a click on
   its tab would. run.sh uses it to show every page in its screenshots, since
   there is no input tool on a bare Xvfb display.
     sheetpage <index>     0 global, 1 devices, 2 record log
   Exit code 0 when the page was selected, 1 when no Delvora window was found
   or the sheet refused, 2 on bad arguments. */
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>
#include <stdio.h>
#include <stdlib.h>

/* The sheet is a top-level dialog captioned "Delvora" (a message box of the
   program has another caption, so it is not taken for the sheet). */
static HWND FindSheet(void) {
  HWND window = NULL;
  while ((window = FindWindowExW(NULL, window, L"#32770", L"Delvora")) != NULL) {
    if (IsWindowVisible(window) && GetDlgItem(window, 0x3020 /* the sheet's tab control */) != NULL)
      return window;
  }
  return NULL;
}

int main(int argc, char** argv) {
  char* end = NULL;
  long index = argc == 2 ? strtol(argv[1], &end, 10) : -1;
  if (argc != 2 || end == argv[1] || *end != '\0' || index < 0 || index > 2) {
    fputs("usage: sheetpage <0|1|2>\n", stderr);
    return 2;
  }
  HWND sheet = FindSheet();
  if (sheet == NULL) {
    fputs("sheetpage: no Delvora window\n", stderr);
    return 1;
  }
  /* A page's activation handlers may show a message box: don't wait for ever. */
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(sheet, PSM_SETCURSEL, (WPARAM)index, 0, SMTO_ABORTIFHUNG, 5000, &result) ||
      result == 0) {
    fprintf(stderr, "sheetpage: the sheet did not select page %ld\n", index);
    return 1;
  }
  return 0;
}
