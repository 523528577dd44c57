#include "station/StationEnd.h"

#include "slot/ExitStatus.h"

int ExitStatusFor(const StationEnd& end) {
    if (end.signal > 0) {
        return 128 + end.signal;
    }
    if (end.recordNotWritten) {
        return kExitRecordNotWritten;
    }
    if (end.wrongImage) {
        return kExitImageChanged;
    }
    if (end.unservable) {
        return kExitUsage;
    }
    if (end.unitPool) {
        return kExitUnitPool;
    }
    if (end.allTakenOut) {
        return kExitAllTakenOut;
    }
    return end.someFailed ? kExitSomeBoxFailed : kExitPass;
}
