#pragma once

// The values a label is filled with: the box's id, the job, the station, the slot, the time of
// its verdict, and each field of the job's [unit] by its name. A secret unit field is never
// printed, so a template that names one is refused with the rest of the job.

#include <map>
#include <string>

#include "label/LabelTemplate.h"
#include "platform/base/Result.h"
#include "record/BoxRecord.h"
#include "unit/UnitLayout.h"

// Every field the template names is one a label knows; fails with the template's line.
Result<void> CheckLabelFields(const LabelTemplate& label, const std::string& name,
                              const UnitLayout* unit);

// The values for the box `record` describes, served on the slot `slot`.
std::map<std::string, std::string> LabelValues(const BoxRecord& record, const std::string& slot);

// The label of the box `record` describes, served on slot `slot`: the job's template `zpl`
// filled and sent to its `printer`, both as the job gives them (checked when the job was read;
// a station of another version may still send what this one cannot read).
Result<void> PrintLabel(const std::string& zpl, const std::string& printer, const BoxRecord& record,
                        const std::string& slot);
