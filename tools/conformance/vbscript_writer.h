// Writes a conformance vector file as a VBScript, so the Windows build can be
// driven by a real script client: every member call is a VBScript call on the
// object (late-bound through IDispatch, with VBScript's own argument passing,
// by-reference variables and omitted arguments), and what VBScript cannot
// express or check itself goes to a test-only harness object,
// "Keystrel10Test.Harness" (typed values, recorders, event sinks, the
// registry, comparisons).
//
// The script runs one case per process: `cscript //nologo FILE.vbs N` runs
// case N (0-based) and ends with "1 passed, 0 failed" or a line
// "FAIL <case name>: <where>: <what>" and "0 passed, 1 failed". A fresh
// process per case gives each case fresh per-thread library state.
//
// The harness's members, as the script calls them:
//   Load(path)            read the vector file (the same one this script came from)
//   Begin(n) -> name      seed the case's registry, environment, programmatic identifiers
//   Name(name, value)     the current value of a case name, after every assignment
//   Forget(name)          the case released the name
//   Arg(pointer)          the VALUE at that JSON pointer as a variant
//   Step(pointer, number, source, description, result)
//                         a member step's outcome, compared with its expectations
//   Collect(item)         one item of a For Each walk, before its Step
//   Handles(pointer)      the handles step
//   Sink(pointer), Recorder(pointer) -> object, On(pointer, reaction)
//                         client objects; a reaction's Run is called inside the callback
//   EntryArg(i)           inside Run: argument i of the entry reacted to
//   CheckLog(pointer)     the log step
//   Finish() -> text      the registry check; "" or the first failure
//   PutRef(obj, member, value)
//                         a property set by reference with a value that is no
//                         object, which VBScript's Set refuses to make
#ifndef KEYSTREL_TOOLS_CONFORMANCE_VBSCRIPT_WRITER_H_
#define KEYSTREL_TOOLS_CONFORMANCE_VBSCRIPT_WRITER_H_

#include <string>
#include <string_view>

#include "tools/conformance/vector.h"

namespace keystrel::conformance {

// `vector_path` is the vector file as the script's host sees it (a Windows
// path), handed to the harness's Load. The result is the script's text, with
// lines ending in CR LF.
std::string WriteVbscript(const VectorFile& file, std::string_view vector_path);

// A VBScript expression giving exactly `text` (UTF-16): quoted runs of
// printable ASCII, Chr() for the other ASCII characters, ChrW() beyond.
std::string VbsStringLiteral(std::u16string_view text);

}  // namespace keystrel::conformance

#endif  // KEYSTREL_TOOLS_CONFORMANCE_VBSCRIPT_WRITER_H_
