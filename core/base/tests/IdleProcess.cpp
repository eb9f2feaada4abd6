// Stand-in process for the shell-user tests: the test copies it under the
// shell's file name, starts it and ends it again.
#include <windows.h>

int main()
{
    Sleep(60000);
    return 0;
}
