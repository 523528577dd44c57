#include "hosts/cli/JobOptions.h"

void ApplyJob(const Job& job, CliOptions& o) {
    for (const JobSlot& slot : job.slots) {
        o.ports.push_back(slot.port);
        o.labels.push_back(slot.label);
        o.outlets.push_back(slot.power.value_or(SlotSwitch{}));
    }
    o.power = job.power;
    o.retry = job.retry;
    o.scan = job.scan;
    o.image = job.image;
    o.sha256 = job.sha256;
    o.jobName = job.name;
    o.timeoutSeconds = job.timeoutSeconds.value_or(o.timeoutSeconds);
    o.boxId = job.boxId;
    o.report = job.report;
    o.logDir = job.logDir;
    o.timestamps = job.timestamps;
    o.debug = job.debug;
    o.stationName = job.station;
    o.captureDir = job.capture;
    o.captureMax = job.captureMax.value_or(o.captureMax);
    o.mqttCa = job.mqttCa;
    o.mqttPasswordFile = job.mqttPasswordFile;
    o.db = job.db;
    o.baud = job.baud.value_or(o.baud);
    o.requireWhole = job.requireWhole;
    o.unit = job.unit;
    o.labelZpl = job.labelZpl;
    o.printer = job.printer;
    if (job.mqtt) {
        o.broker = *ParseMqttUrl(*job.mqtt);  // checked when the job was read
    }
}
