#include <ctime>

void SystemLocalParts(std::time_t t, std::tm& parts)
{
    localtime_r(&t, &parts);
}
