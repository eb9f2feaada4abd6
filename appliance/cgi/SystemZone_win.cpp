#include <ctime>

void SystemLocalParts(std::time_t t, std::tm& parts)
{
    localtime_s(&parts, &t);
}
