// Stand-in for cmd.exe in the GUI tests: swallows what is written to it, then prints its argument
// and ends, or without one waits (until it is killed).
#include <cstdio>
#include <windows.h>

int main(int argc, char **argv)
{
    char buffer[4096];
    while (std::fread(buffer, 1, sizeof buffer, stdin) > 0) {
    }
    if (argc < 2) {
        Sleep(600 * 1000);
        return 0;
    }
    std::fputs(argv[1], stdout);
    return 0;
}
