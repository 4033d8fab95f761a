// Private to the form file sources: vd_formfile.cpp holds the tree, the values and the public
// entry points, and calls into one source per stored format for the reading and writing.
#pragma once

#include <string>
#include <string_view>

#include "vd_formfile.h"
#include "vd_streams.h"

namespace vd {

// Deeper nesting than this is never written by a real designer; refusing it keeps a hostile
// form from exhausting the stack.
constexpr int kMaxDepth = 200;

// vd_formfile_binary.cpp: the whole "TPF0" form, signature included.
TFormObject ReadBinaryForm(std::string_view data);
TFormObject ReadBinaryForm(TStream& stream);
std::string WriteBinaryFormImpl(const TFormObject& root);

// vd_formfile_text_reader.cpp
TFormObject ReadTextForm(std::string_view text);

// vd_formfile_text_writer.cpp
std::string WriteTextFormImpl(const TFormObject& root);
// Appends s as quoted runs of printable characters and #nnn for the others ('' when empty);
// the text writer and FormValueSummary render strings the same way.
void AppendQuoted(std::string& out, std::u16string_view s);

}  // namespace vd
