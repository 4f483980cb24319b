/* A stand-in for an installer that this machine does not have: built as
 * dotnetfx35.exe (the framework's redistributable package) and as
 * pkgmgr.exe (the Windows package manager). Each run
 *   - appends "<own file name>|<whole command line>" and CRLF to
 *     C:\zv-standin-calls.txt, so a test sees exactly what it was given;
 *   - sleeps ZV_STANDIN_SECONDS seconds when that is set (an installer
 *     that takes a while);
 *   - exits with ZV_STANDIN_EXIT_CODE (decimal, may be negative, or 0x
 *     hex such as 0xFFFFFFFF; 0 when unset);
 *   - when that code means "installed" (0, 3010 or 1641), records the
 *     framework as installed where the real installers do, so that the
 *     next run of Zelvantorix finds it. */
#include <windows.h>

#include <string.h>

#define CALLS_FILE "C:\\zv-standin-calls.txt"
#define SETUP_KEY "Software\\Microsoft\\NET Framework Setup\\NDP\\v3.5"
#define FRAMEWORK_VERSION "3.5.30729.01"
#define MAX_SECONDS 3600u

static void WriteError(const char* text) {
  DWORD written = 0;
  HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  if (error != NULL && error != INVALID_HANDLE_VALUE) {
    WriteFile(error, text, (DWORD)strlen(text), &written, NULL);
  }
}

/* Reads a variable of the environment; FALSE when unset (or too long). */
static BOOL ReadVariable(const char* name, char* value, DWORD capacity) {
  DWORD length = GetEnvironmentVariableA(name, value, capacity);
  return length != 0 && length < capacity;
}

/* "-12", "3010", "0xFFFFFFFF", "-0x10": the value as a 32-bit exit code,
 * wrapping as the system does. FALSE when the text is not a number. */
static BOOL ParseCode(const char* text, DWORD* code) {
  BOOL negative = FALSE;
  DWORD value = 0;
  DWORD base = 10;
  int digits = 0;
  if (*text == '-') {
    negative = TRUE;
    ++text;
  } else if (*text == '+') {
    ++text;
  }
  if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text += 2;
  }
  for (; *text != '\0'; ++text, ++digits) {
    DWORD digit;
    if (*text >= '0' && *text <= '9') {
      digit = (DWORD)(*text - '0');
    } else if (base == 16 && *text >= 'a' && *text <= 'f') {
      digit = (DWORD)(*text - 'a' + 10);
    } else if (base == 16 && *text >= 'A' && *text <= 'F') {
      digit = (DWORD)(*text - 'A' + 10);
    } else {
      return FALSE;
    }
    value = value * base + digit;
  }
  if (digits == 0) return FALSE;
  *code = negative ? (DWORD)(0u - value) : value;
  return TRUE;
}

static void RecordCall(void) {
  /* The line is written in one piece, so stand-ins that run at the same
   * time never mix their lines. */
  static char line[MAX_PATH + 32768 + 4];
  char path[MAX_PATH + 1];
  const char* name = path;
  const char* commandLine = GetCommandLineA();
  DWORD length = GetModuleFileNameA(NULL, path, MAX_PATH);
  size_t used;
  size_t commandLength;
  HANDLE file;
  DWORD written = 0;

  path[length < MAX_PATH ? length : MAX_PATH] = '\0';
  if (strrchr(path, '\\') != NULL) name = strrchr(path, '\\') + 1;
  used = strlen(name);
  memcpy(line, name, used);
  line[used++] = '|';
  commandLength = strlen(commandLine);
  if (commandLength > sizeof line - used - 2) commandLength = sizeof line - used - 2;
  memcpy(line + used, commandLine, commandLength);
  used += commandLength;
  line[used++] = '\r';
  line[used++] = '\n';

  file = CreateFileA(CALLS_FILE, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                     OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) {
    WriteError("standin: cannot open " CALLS_FILE "\r\n");
    return;
  }
  if (!WriteFile(file, line, (DWORD)used, &written, NULL) || written != used) {
    WriteError("standin: cannot write to " CALLS_FILE "\r\n");
  }
  CloseHandle(file);
}

/* Writes the setup values into one view of the registry. */
static BOOL RecordFrameworkIn(REGSAM view) {
  static const char version[] = FRAMEWORK_VERSION;
  const DWORD one = 1;
  HKEY key = NULL;
  LONG status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, SETUP_KEY, 0, NULL, REG_OPTION_NON_VOLATILE,
                                KEY_SET_VALUE | view, NULL, &key, NULL);
  if (status != ERROR_SUCCESS) return FALSE;
  status = RegSetValueExA(key, "Install", 0, REG_DWORD, (const BYTE*)&one, sizeof one);
  if (status == ERROR_SUCCESS) {
    status = RegSetValueExA(key, "Version", 0, REG_SZ, (const BYTE*)version, sizeof version);
  }
  /* The value the installed-framework check reads comes last, so that it
   * is never there without the others. */
  if (status == ERROR_SUCCESS) {
    status = RegSetValueExA(key, "SP", 0, REG_DWORD, (const BYTE*)&one, sizeof one);
  }
  RegCloseKey(key);
  return status == ERROR_SUCCESS;
}

static void RecordFramework(void) {
  /* The real installers fill both views on 64-bit Windows, so that 32-bit
   * and 64-bit programs find the framework alike; 32-bit Windows ignores
   * the view flags. */
  BOOL native = RecordFrameworkIn(KEY_WOW64_64KEY);
  BOOL wow = RecordFrameworkIn(KEY_WOW64_32KEY);
  if (!native || !wow) WriteError("standin: cannot record the framework in the registry\r\n");
}

int main(void) {
  char text[64];
  DWORD code = 0;

  RecordCall();

  if (ReadVariable("ZV_STANDIN_SECONDS", text, sizeof text)) {
    DWORD seconds = 0;
    if (ParseCode(text, &seconds) && seconds <= MAX_SECONDS) {
      Sleep(seconds * 1000u);
    } else {
      WriteError("standin: ZV_STANDIN_SECONDS is not a number of seconds up to 3600\r\n");
    }
  }

  if (ReadVariable("ZV_STANDIN_EXIT_CODE", text, sizeof text) && !ParseCode(text, &code)) {
    /* A test that set a code it did not mean: fail loudly, install nothing. */
    WriteError("standin: ZV_STANDIN_EXIT_CODE is not a number\r\n");
    ExitProcess(ERROR_INVALID_PARAMETER);
  }

  if (code == 0 || code == 3010 || code == 1641) RecordFramework();
  ExitProcess(code);
  return 0;
}
