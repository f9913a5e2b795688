/* Imports a function its DLL lacks. Windows refuses to start such a
   program; wine starts it with a stub that aborts only when called, so the
   runner must fail it from the loader's warning alone: Absent is called
   only when asked. */
#include <stdio.h>

__declspec(dllimport) int __stdcall Present(int x);
__declspec(dllimport) int __stdcall Absent(int x);

int main(int argc, char** argv) {
  (void)argv;
  printf("missing: Present(1) = %d\n", Present(1));
  if (argc > 1) printf("missing: Absent(1) = %d\n", Absent(1));
  return 0;
}
