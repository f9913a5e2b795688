/* Loads the plug-in DLLs as the host does: each with LoadLibrary, each hook
   of its build's export list found with GetProcAddress, one hook called the
   way the host calls them, and the DLL let go again.
     PluginLoad.exe <dll>:<hook>,<hook>,... ...
   The hook called is BeforeCreateObject without a request, which every
   build exports and which answers true (-1) without asking the host. It is
   called through assembly that pushes three 32-bit arguments and compares
   the stack pointer after the call with the one before: a stdcall hook
   takes its 12 bytes with it (ret 0xc), as the host expects; a cdecl one
   leaves them, and the host's stack would drift by 12 bytes a call. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int CallHook(FARPROC hook, int *answer) {
  int before, after, result;
  /* before and after live in registers the callee keeps (ebx, esi, edi):
     eax, ecx and edx are the hook's to change. The stack pointer is set
     back whatever the hook did, so that a faulty hook is reported, not
     crashed on. */
  __asm__ volatile(
      "movl %%esp, %0\n\t"
      "pushl $0\n\t"
      "pushl $0\n\t"
      "pushl $0\n\t"
      "call *%3\n\t"
      "movl %%esp, %1\n\t"
      "movl %0, %%esp\n\t"
      : "=&r"(before), "=&r"(after), "=a"(result)
      : "r"(hook)
      : "ecx", "edx", "memory", "cc");
  *answer = (short)(result & 0xffff);
  return before - after;
}

static int CheckDll(char *argument) {
  char *names = strchr(argument, ':');
  /* A drive letter's colon is not the separator. */
  if (names == argument + 1) names = strchr(argument + 2, ':');
  if (!names) {
    printf("bad argument %s\n", argument);
    return 1;
  }
  *names++ = 0;
  char path[MAX_PATH];
  /* A Unix path reaches the DLL through wine's drive Z:. */
  snprintf(path, sizeof path, "%s%s", argument[0] == '/' ? "Z:" : "", argument);
  HMODULE dll = LoadLibraryA(path);
  if (!dll) {
    printf("%s: LoadLibrary failed, error %lu\n", path, GetLastError());
    return 1;
  }
  int faults = 0, count = 0;
  for (char *name = strtok(names, ","); name; name = strtok(NULL, ",")) {
    ++count;
    if (!GetProcAddress(dll, name)) {
      printf("%s: no export %s\n", path, name);
      ++faults;
    }
  }
  FARPROC hook = GetProcAddress(dll, "BeforeCreateObject");
  if (hook) {
    int answer = 0;
    int drift = CallHook(hook, &answer);
    printf("%s: %d hooks found, BeforeCreateObject(0, 0, 0) = %d, stack %+d bytes\n", path,
           count - faults, answer, drift);
    if (drift != 0) {
      printf("%s: the hook does not take its 12 bytes of arguments (stdcall, ret 0xc)\n", path);
      ++faults;
    }
    if (answer != -1) {
      printf("%s: BeforeCreateObject without a request answered %d, not true (-1)\n", path, answer);
      ++faults;
    }
  } else {
    printf("%s: no BeforeCreateObject to call\n", path);
    ++faults;
  }
  if (!FreeLibrary(dll)) {
    printf("%s: FreeLibrary failed, error %lu\n", path, GetLastError());
    ++faults;
  }
  return faults;
}

int main(int argc, char **argv) {
  if (argc < 2) {
    printf("usage: PluginLoad.exe <dll>:<hook>,<hook>,... ...\n");
    return 2;
  }
  int faults = 0;
  for (int i = 1; i < argc; ++i) faults += CheckDll(argv[i]);
  printf("%s\n", faults ? "plug-in DLLs: FAILED" : "plug-in DLLs: all loaded, hooks found, stack balanced");
  return faults ? 1 : 0;
}
