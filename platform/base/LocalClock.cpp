#include "platform/base/LocalClock.h"

std::string LocalClock(std::time_t when) {
    std::tm local{};
    char text[16] = "";
    if (localtime_r(&when, &local) != nullptr) {
        std::strftime(text, sizeof text, "%H:%M:%S", &local);
    }
    return text;
}
