#pragma once

// The window's control places as the test-only remote control reports them: a "places" answer
// of "id=x,y,w,h" fields, read back for the window tests.

#include <ostream>
#include <sstream>
#include <string>

struct Box {
    int x = 0, y = 0, w = 0, h = 0;
    friend bool operator==(const Box&, const Box&) = default;
};

inline std::ostream& operator<<(std::ostream& out, const Box& b) {
    return out << b.x << "," << b.y << " " << b.w << "x" << b.h;
}

// One "id=x,y,w,h" field of the "places" answer; all zero when there is none.
inline Box PlaceOf(const std::string& places, const std::string& key) {
    std::istringstream in(places);
    for (std::string field; in >> field;) {
        if (field.rfind(key + "=", 0) == 0) {
            Box b;
            char comma = 0;
            std::istringstream(field.substr(key.size() + 1)) >> b.x >> comma >> b.y >> comma >>
                b.w >> comma >> b.h;
            return b;
        }
    }
    return {};
}
