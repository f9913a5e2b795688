/* Calls a function wine has only as a stub (kernel32's
   CancelDeviceWakeupRequest in wine 8.0): it loads cleanly and aborts in
   the call, which the runner must report as a failure. */
#include <windows.h>
#include <stdio.h>

int main(void) {
  printf("stub: calling CancelDeviceWakeupRequest\n");
  fflush(stdout);
  BOOL ok = CancelDeviceWakeupRequest(NULL);
  printf("stub: returned %d\n", (int)ok);
  return 0;
}
