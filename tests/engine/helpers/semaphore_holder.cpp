// Plays the product's running programs for the tests: creates the named
// semaphores given as arguments and keeps them until the process is ended.
#include <windows.h>

#include <vector>

int wmain(int argc, wchar_t** argv)
{
    std::vector<HANDLE> held;
    for (int i = 1; i < argc; ++i)
        held.push_back(::CreateSemaphoreW(nullptr, 0, 1, argv[i]));
    ::Sleep(INFINITE);
    return 0;
}
