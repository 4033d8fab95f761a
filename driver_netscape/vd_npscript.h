// The Netscape driver's platform-free text work: the query pairs of a local URL, the script-URL
// refusal, the movie's external calls turned into request text, and the process-wide identifier
// table. The token scanner and the last part of a path are the movie addressing's own
// (vd_movienames.h), named here too. No <windows.h>: tested natively under
// the sanitizers and fuzzed.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vd_movienames.h"
#include "vd_npapi.h"
#include "vd_system.h"

namespace vd::np {

using vd::LastPathPart;
using vd::TakeToken;

// The query of a local URL: when `url` has no "http:" anywhere and holds "?", `url` becomes
// the part before it and the pairs name=value&... are answered in order; else none, and `url`
// is left as it is.
std::vector<std::pair<WideString, WideString>> SplitQuery(WideString& url);

// True for a URL whose scheme is javascript (any letter case, after leading spaces): the
// movie's script URLs, which the host refuses.
bool IsScriptUrl(std::u16string_view url);

// A movie's external call as the plugin hands it to the host for evaluation:
// try { __flash__toXML(NAME(ARGS)) ; } catch (e) ...
struct TExternalCall {
    std::string Name;                    // UTF-8, as the script has it
    std::vector<std::string> Arguments;  // each argument's value: string literals unquoted and
                                         // unescaped, other literals as their text
};
// nullopt for a script of any other form.
// The name is the trimmed text before the first "("; the call ends at the ")" closing its
// argument list, which the wrapper's end ") ; } catch (e)" must follow (or nothing, for a
// script cut short); what comes after that is not looked at.
// The arguments are read as the script literals they are: a string in double or single quotes
// ends at its closing quote (commas and brackets inside belong to it) and its escapes are
// undone (\uXXXX and \xXX become UTF-8, an unpaired surrogate U+FFFD); numbers, true, false,
// null, undefined and nested array or object forms are taken as their trimmed text, brackets
// balanced.
// A call that is not well formed (an unterminated string, a bad \u or \x escape, unbalanced
// brackets, an empty argument, text between an argument and its comma, no argument list, an
// empty name, other text after the call) is nullopt as well, never a part of a call.
std::optional<TExternalCall> ParseExternalCall(std::string_view script);
// <invoke name="NAME" returntype="XML"><arguments><string>ARG</string>...</arguments></invoke>
// with &, <, >, " and ' escaped in the name and the arguments.
std::string ExternalCallRequest(const TExternalCall& call);

// The identifier of a name: the address of a zero-terminated UTF-8 copy of it in a process-wide
// table. The same text always gives the same identifier, valid until the process ends.
// Main thread only (the table is not locked). A name holding a zero byte is kept whole, but
// reads as zero-terminated text only up to that byte.
const char* InternIdentifier(std::string_view name);

// The identifier of an integer: the address of a process-wide cell holding it. The same integer
// always gives the same identifier, never one that InternIdentifier gives. Main thread only.
const void* InternIntIdentifier(int32_t value);
// True, with the integer, when `identifier` came from InternIntIdentifier.
bool IntIdentifierValue(const void* identifier, int32_t& value);

// A plugin's answer read as the type the host asked for, whatever type the plugin chose:
// - as an integer: Int32 as it is; Double rounded to the nearest integer and held to the int32
//   range (NaN gives 0); Bool 0 or 1; a String holding nothing but a decimal number (blanks
//   around it allowed) as that number; anything else 0;
// - as a Boolean: Bool as it is; a number other than 0 (NaN is false); the String "true" (any
//   letter case) or one holding a number other than 0; anything else false.
int32_t VariantToInt(const NPVariant& v);
bool VariantToBool(const NPVariant& v);

}  // namespace vd::np
