/* A 32-bit program with nothing to complain about: the runner must pass it
   and hand on its exit code, 7, which no failure of the runner gives. */
#include <stdio.h>

int main(void) {
  printf("clean: %u-bit\n", (unsigned)(sizeof(void*) * 8));
  return sizeof(void*) == 4 ? 7 : 1;
}
