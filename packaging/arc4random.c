// arc4random for the portable program. GCC 12's static C++ runtime, built on
// glibc 2.36, reaches arc4random (new in glibc 2.36) through random_device,
// which the presentation never uses; defining it here keeps the program
// within glibc 2.35, the newest a party's Ubuntu 22.04 or Mint 21.3 has.
#include <errno.h>
#include <stdint.h>
#include <stdlib.h>
#include <sys/random.h>

uint32_t arc4random(void) {
    uint32_t value = 0;
    while (getrandom(&value, sizeof value, 0) != (ssize_t)sizeof value) {
        if (errno != EINTR) abort();  // no kernel source of randomness: nothing sane to give
    }
    return value;
}
