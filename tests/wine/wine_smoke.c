/* Prints a fixed line: proof that this build's code runs under the Wine at hand. */
#include <stdio.h>

int main(void) {
    puts("wine ok");
    return 0;
}
