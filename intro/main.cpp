// The process entry: everything happens in intro_main.
#include "intro/intro.h"

int main(int argc, char** argv, char** envp) {
    intro_main(argc, argv, envp);
}
