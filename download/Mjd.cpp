#include "download/Mjd.h"

int ModifiedJulianDate(int yearsSince1900, int month, int day) {
    const int l = (month == 1 || month == 2) ? 1 : 0;
    const double years = static_cast<double>(yearsSince1900 - l) * 365.25;
    const double months = static_cast<double>(month + 1 + l * 12) * 30.6001;
    return 14956 + day + static_cast<int>(years) + static_cast<int>(months);
}
