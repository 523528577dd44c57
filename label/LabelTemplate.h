#pragma once

// A label's ZPL template, with the box's values named in braces inside a field's data:
//
//   ^XA^FO50,50^A0N,40^FDBox {box_id}^FS^FO50,100^FD{serial} {time}^FS^XZ
//
// A value is printer data, not the template's: a box id such as "X^XA^FDpwned^FS~JR" must
// print as itself and never as commands. So a field stands only in a ^FD's data, and that ^FD
// is sent as ^FH_^FD with every byte of the value that the printer would read as a command,
// the escape itself or a control byte written as _XX. "{{" is a literal brace.

#include <map>
#include <string>
#include <vector>

#include "platform/base/Result.h"

class LabelTemplate {
  public:
    struct Field {
        std::string name;
        int line = 0;  // in the template, from 1
    };

    // Fails with "NAME:LINE: what is wrong", `name` being the template's file as the job gives it.
    static Result<LabelTemplate> Parse(const std::string& text, const std::string& name);

    // Every field the template names, in its order, each as often as it appears.
    const std::vector<Field>& Fields() const { return m_fields; }

    // The label to send; a field without a value prints empty.
    std::string Render(const std::map<std::string, std::string>& values) const;

  private:
    struct Piece {
        enum class Kind { Text, Field };
        Kind kind = Kind::Text;
        std::string text;  // the template's bytes, or the field's name
        int line = 0;
    };
    std::vector<Piece> m_pieces;
    std::vector<Field> m_fields;
};

// A value as ^FH_ field data: ^, ~, _ and the control bytes as _XX, the rest as they are.
std::string ZplFieldData(const std::string& value);
