#include "station/PowerPlan.h"

const char* PowerActionWord(PowerAction action) {
    return action == PowerAction::On ? "on" : "off";
}
