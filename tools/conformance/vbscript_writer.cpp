#include "tools/conformance/vbscript_writer.h"

#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "frame/ustring.h"

namespace keystrel::conformance {
namespace {

constexpr const char* kEol = "\r\n";

bool IsPlainIdentifier(std::string_view s) {
  if (s.empty() || !((s[0] >= 'A' && s[0] <= 'Z') || (s[0] >= 'a' && s[0] <= 'z'))) return false;
  for (char c : s) {
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                    c == '_';
    if (!ok) return false;
  }
  return true;
}

// Words VBScript will not take as a member name after a dot; such names (and
// any name that is not an identifier) go in brackets.
bool NeedsBrackets(std::string_view s) {
  static const std::set<std::string, std::less<>> kReserved = {
      "and",    "call",  "case",   "class",    "const", "dim",     "do",      "each",
      "else",   "elseif", "empty", "end",      "eqv",   "erase",   "error",   "exit",
      "explicit", "false", "for",   "function", "get",   "goto",    "if",      "imp",
      "in",     "is",    "let",    "loop",     "me",    "mod",     "new",     "next",
      "not",    "nothing", "null", "on",       "option", "or",     "preserve", "private",
      "property", "public", "redim", "rem",     "resume", "select", "set",     "step",
      "stop",   "sub",   "then",   "to",       "true",  "until",   "wend",    "while",
      "with",   "xor"};
  std::string lower(s);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return !IsPlainIdentifier(s) || kReserved.count(lower) != 0;
}

std::string MemberName(const UString& member) {
  const std::string name = UToUtf8(member);
  return NeedsBrackets(name) ? "[" + name + "]" : name;
}

std::string Quote(std::string_view utf8) { return VbsStringLiteral(Utf8ToU(utf8)); }

// Everything one case's script needs to know while its steps are written.
class CaseWriter {
 public:
  CaseWriter(std::size_t index, std::ostringstream* classes)
      : index_(index), classes_(classes) {}

  // The script variable behind a case name. Names of the file are free text,
  // so anything but letters and digits is spelled out.
  std::string Var(const std::string& name) {
    std::string out = "c" + std::to_string(index_) + "_";
    for (unsigned char c : name) {
      if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
        out += static_cast<char>(c);
      } else {
        char hex[8];
        std::snprintf(hex, sizeof hex, "_%02X", c);
        out += hex;
      }
    }
    vars_.insert(out);
    return out;
  }

  std::string GlobalVar(const UString& class_name) {
    std::string out = "g" + std::to_string(index_) + "_" + UToUtf8(class_name);
    for (char& c : out) {
      if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) c = '_';
    }
    vars_.insert(out);
    return out;
  }

  const std::set<std::string>& vars() const { return vars_; }

  // A VBScript expression for a value passed by value.
  std::string ValueExpr(const ValueSpec& v) {
    if (v.kind == ValueSpec::Kind::kLiteral) {
      const Variant& lit = v.literal;
      switch (lit.type()) {
        case VarType::kString: {
          // Text beyond ASCII comes from the harness: spelling it needs
          // ChrW, which not every script engine has.
          bool ascii = true;
          for (char16_t ch : lit.string()) ascii = ascii && ch < 0x80;
          if (ascii) return VbsStringLiteral(lit.string());
          break;
        }
        case VarType::kBoolean: return lit.bool_value() ? "True" : "False";
        case VarType::kLong: {
          const std::int32_t n = lit.long_value();
          // Small literals would reach the member as 16-bit integers.
          if (n == INT32_MIN) return "CLng(-2147483647 - 1)";
          return "CLng(" + std::to_string(n) + ")";
        }
        case VarType::kEmpty: return "Empty";
        case VarType::kNull: return "Null";
        default: break;
      }
    }
    return "T.Arg(" + Quote(v.pointer) + ")";
  }

  // The argument list as VBScript writes it: variables by reference, empty
  // slots for omitted arguments, trailing omissions dropped.
  std::string ArgList(const std::vector<ValueSpec>& args) {
    std::size_t count = args.size();
    while (count > 0 && args[count - 1].kind == ValueSpec::Kind::kOmit) --count;
    std::string out;
    for (std::size_t i = 0; i < count; ++i) {
      if (i != 0) out += ", ";
      const ValueSpec& a = args[i];
      if (a.kind == ValueSpec::Kind::kOmit) continue;
      out += a.kind == ValueSpec::Kind::kVarRef ? Var(a.name) : ValueExpr(a);
    }
    return out;
  }

  void Steps(const std::vector<Step>& steps, const std::string& indent, std::ostringstream& out) {
    for (const Step& s : steps) One(s, indent, out);
  }

 private:
  void Line(std::ostringstream& out, const std::string& indent, const std::string& text) {
    out << indent << text << kEol;
  }

  // After a call into the harness: a failure of the harness itself must not
  // vanish under On Error Resume Next.
  void HarnessCall(std::ostringstream& out, const std::string& indent, const std::string& call,
                   const std::string& pointer) {
    Line(out, indent, call);
    Line(out, indent, "If Err.Number <> 0 Then HarnessFault " + Quote(pointer) +
                          ", Err.Number, Err.Description: Err.Clear");
  }

  void CaptureError(std::ostringstream& out, const std::string& indent) {
    Line(out, indent, "E1 = Err.Number: E2 = Err.Source: E3 = Err.Description: Err.Clear");
  }

  void Outcome(const Step& s, const std::string& indent, const std::string& result,
               std::ostringstream& out) {
    for (const ValueSpec& a : s.args) {
      if (a.kind == ValueSpec::Kind::kVarRef) {
        HarnessCall(out, indent, "T.Name " + Quote(a.name) + ", " + Var(a.name), s.pointer);
      }
    }
    if (!s.as.empty()) {
      Line(out, indent, "If E1 = 0 Then T.Name " + Quote(s.as) + ", " + Var(s.as));
    }
    HarnessCall(out, indent,
                "T.Step " + Quote(s.pointer) + ", E1, E2, E3, " + result, s.pointer);
  }

  void One(const Step& s, const std::string& indent, std::ostringstream& out) {
    Line(out, indent, "' " + s.pointer + " " + s.summary);
    switch (s.kind) {
      case StepKind::kNew: {
        const std::string v = Var(s.target);
        Line(out, indent, "Err.Clear");
        if (s.create_by == CreateBy::kGlobal) {
          // The predeclared instance: created by the client the first time
          // the case names it, the same object every time after.
          const std::string g = GlobalVar(s.create_what);
          Line(out, indent, "If Not IsObject(" + g + ") Then Set " + g + " = CreateObject(" +
                                VbsStringLiteral(u"Keystrel10." + s.create_what) + ")");
          Line(out, indent, "Set " + v + " = " + g);
        } else if (s.create_by == CreateBy::kProgId) {
          Line(out, indent, "Set " + v + " = CreateObject(" + VbsStringLiteral(s.create_what) + ")");
        } else {
          Line(out, indent, "Set " + v + " = CreateObject(" +
                                VbsStringLiteral(u"Keystrel10." + s.create_what) + ")");
        }
        CaptureError(out, indent);
        Line(out, indent, "If E1 = 0 Then T.Name " + Quote(s.target) + ", " + v);
        HarnessCall(out, indent, "T.Step " + Quote(s.pointer) + ", E1, E2, E3, Empty", s.pointer);
        break;
      }
      case StepKind::kDim: {
        const std::string v = Var(s.target);
        HarnessCall(out, indent, "Keep " + v + ", " + ValueExpr(*s.value), s.pointer);
        HarnessCall(out, indent, "T.Name " + Quote(s.target) + ", " + v, s.pointer);
        break;
      }
      case StepKind::kGet:
      case StepKind::kCall:
      case StepKind::kValue: {
        const std::string obj = Var(s.target);
        const std::string args = ArgList(s.args);
        std::string expr;
        if (s.kind == StepKind::kValue) {
          expr = args.empty() ? "DefaultOf(" + obj + ")" : obj + "(" + args + ")";
        } else {
          expr = obj + "." + MemberName(s.member) + (args.empty() ? "" : "(" + args + ")");
        }
        const bool keeps = s.result.has_value() || !s.as.empty() || s.kind != StepKind::kCall;
        const std::string dest = s.as.empty() ? "R" : Var(s.as);
        Line(out, indent, "Err.Clear");
        if (keeps) {
          Line(out, indent, "Keep " + dest + ", " + expr);
        } else {
          // A call whose result nobody wants is a statement, the way scripts
          // call subs.
          Line(out, indent, obj + "." + MemberName(s.member) + (args.empty() ? "" : " " + args));
        }
        CaptureError(out, indent);
        Outcome(s, indent, keeps ? dest : "Empty", out);
        if (keeps && s.as.empty()) Line(out, indent, "Forget R");
        break;
      }
      case StepKind::kLet:
      case StepKind::kSet: {
        const std::string args = ArgList(s.args);
        const std::string target = Var(s.target) + "." + MemberName(s.member) +
                                   (args.empty() ? "" : "(" + args + ")");
        Line(out, indent, "Err.Clear");
        const bool not_object = s.value->kind == ValueSpec::Kind::kLiteral &&
                                s.value->literal.type() != VarType::kObject;
        if (s.kind == StepKind::kSet && not_object && args.empty()) {
          // VBScript's Set takes objects only; the harness makes the call.
          Line(out, indent, "T.PutRef " + Var(s.target) + ", " +
                                VbsStringLiteral(s.member) + ", " + ValueExpr(*s.value));
        } else {
          Line(out, indent, std::string(s.kind == StepKind::kSet ? "Set " : "") + target + " = " +
                                ValueExpr(*s.value));
        }
        CaptureError(out, indent);
        Outcome(s, indent, "Empty", out);
        break;
      }
      case StepKind::kForEach:
        Line(out, indent, "Err.Clear");
        Line(out, indent, "Walk " + Var(s.target));
        CaptureError(out, indent);
        Outcome(s, indent, "Empty", out);
        break;
      case StepKind::kRelease: {
        const std::string v = Var(s.target);
        Line(out, indent, "Forget " + v);
        HarnessCall(out, indent, "T.Forget " + Quote(s.target), s.pointer);
        break;
      }
      case StepKind::kHandles:
        HarnessCall(out, indent, "T.Handles " + Quote(s.pointer), s.pointer);
        break;
      case StepKind::kSink:
        HarnessCall(out, indent, "T.Sink " + Quote(s.pointer), s.pointer);
        break;
      case StepKind::kRecorder:
        HarnessCall(out, indent, "Set " + Var(s.target) + " = T.Recorder(" + Quote(s.pointer) + ")",
                    s.pointer);
        break;
      case StepKind::kOn: {
        const std::string cls = Reaction(s);
        HarnessCall(out, indent, "T.On " + Quote(s.pointer) + ", New " + cls, s.pointer);
        break;
      }
      case StepKind::kLog:
        HarnessCall(out, indent, "T.CheckLog " + Quote(s.pointer), s.pointer);
        break;
    }
  }

  // A reaction is a class whose Run the harness calls inside the callback:
  // VBScript classes are reachable by name through IDispatch, and the case's
  // names are script-level variables, so the steps read the same inside.
  std::string Reaction(const Step& s) {
    const std::string cls = "R" + std::to_string(index_) + "_" + std::to_string(reactions_++);
    std::ostringstream body;
    body << "Class " << cls << kEol << "  Public Sub Run()" << kEol
         << "    Dim E1, E2, E3, R" << kEol << "    On Error Resume Next" << kEol;
    for (const KeepSpec& k : s.keeps) {
      const std::string v = Var(k.as);
      HarnessCall(body, "    ", "Keep " + v + ", T.EntryArg(" + std::to_string(k.index) + ")",
                  k.pointer);
      HarnessCall(body, "    ", "T.Name " + Quote(k.as) + ", " + v, k.pointer);
    }
    Steps(s.do_steps, "    ", body);
    body << "  End Sub" << kEol << "End Class" << kEol << kEol;
    *classes_ << body.str();
    return cls;
  }

  std::size_t index_;
  std::ostringstream* classes_;
  std::set<std::string> vars_;
  int reactions_ = 0;
};

}  // namespace

std::string VbsStringLiteral(std::u16string_view text) {
  if (text.empty()) return "\"\"";
  std::string out;
  bool quoted = false;
  for (char16_t c : text) {
    if (c >= 0x20 && c < 0x7F) {
      if (!quoted) {
        if (!out.empty()) out += " & ";
        out += '"';
        quoted = true;
      }
      if (c == u'"') out += '"';
      out += static_cast<char>(c);
    } else {
      if (quoted) {
        out += '"';
        quoted = false;
      }
      if (!out.empty()) out += " & ";
      // Chr for the ASCII controls: it is the same on every code page, and
      // some script engines (Wine's) have no ChrW.
      out += (c < 0x80 ? "Chr(" : "ChrW(") + std::to_string(static_cast<unsigned>(c)) + ")";
    }
  }
  if (quoted) out += '"';
  return out;
}

std::string WriteVbscript(const VectorFile& file, std::string_view vector_path) {
  std::ostringstream classes;
  std::ostringstream subs;
  std::set<std::string> vars;
  for (std::size_t i = 0; i < file.cases.size(); ++i) {
    CaseWriter writer(i, &classes);
    std::ostringstream body;
    writer.Steps(file.cases[i].steps, "  ", body);
    subs << "' " << file.cases[i].pointer << kEol << "Sub Case" << i << "()" << kEol
         << "  Dim E1, E2, E3, R" << kEol << "  On Error Resume Next" << kEol << body.str()
         << "End Sub" << kEol << kEol;
    vars.insert(writer.vars().begin(), writer.vars().end());
  }

  std::ostringstream out;
  out << "' Generated by keystrel-vbs-gen from a conformance vector file: do not edit." << kEol
      << "' Usage: cscript //nologo THIS.vbs CASE-INDEX" << kEol
      << "Option Explicit" << kEol << "Dim T" << kEol << "Dim Broken" << kEol;
  for (const std::string& v : vars) out << "Dim " << v << kEol;
  out << kEol
      << "Sub Keep(ByRef target, ByVal value)" << kEol
      << "  If IsObject(value) Then Set target = value Else target = value" << kEol
      << "End Sub" << kEol << kEol
      << "Sub Forget(ByRef target)" << kEol
      << "  If IsObject(target) Then Set target = Nothing Else target = Empty" << kEol
      << "End Sub" << kEol << kEol
      << "' Assigning an object without Set applies its default member." << kEol
      << "Function DefaultOf(o)" << kEol << "  DefaultOf = o" << kEol << "End Function" << kEol
      << kEol
      << "' Errors inside propagate to the step that walks." << kEol
      << "Sub Walk(c)" << kEol << "  Dim item" << kEol << "  For Each item In c" << kEol
      << "    T.Collect item" << kEol << "  Next" << kEol << "End Sub" << kEol << kEol
      << "Sub HarnessFault(pointer, number, description)" << kEol
      << "  If Broken = \"\" Then Broken = pointer & \": the harness failed: \" & number & \" \" & "
         "description"
      << kEol << "End Sub" << kEol << kEol
      << "Sub Quit(message)" << kEol << "  WScript.Echo message" << kEol
      << "  WScript.Echo \"0 passed, 1 failed\"" << kEol << "  WScript.Quit 1" << kEol
      << "End Sub" << kEol << kEol
      << classes.str() << subs.str();

  out << "Dim which, name, message" << kEol << "Broken = \"\"" << kEol
      << "If WScript.Arguments.Count <> 1 Then Quit \"usage: cscript //nologo THIS.vbs CASE-INDEX\""
      << kEol << "which = CLng(WScript.Arguments(0))" << kEol << "On Error Resume Next" << kEol
      << "Set T = CreateObject(\"Keystrel10Test.Harness\")" << kEol
      << "If Err.Number <> 0 Then Quit \"FAIL: the harness cannot be created: \" & Err.Description"
      << kEol << "T.Load " << Quote(vector_path) << kEol
      << "If Err.Number <> 0 Then Quit \"FAIL: the harness cannot load the file: \" & "
         "Err.Description"
      << kEol << "name = T.Begin(which)" << kEol
      << "If Err.Number <> 0 Then Quit \"FAIL: case \" & which & \" cannot begin: \" & "
         "Err.Description"
      << kEol << "On Error GoTo 0" << kEol << "Select Case which" << kEol;
  for (std::size_t i = 0; i < file.cases.size(); ++i) {
    out << "  Case " << i << ": Case" << i << kEol;
  }
  out << "  Case Else: Quit \"FAIL: no case \" & which" << kEol << "End Select" << kEol
      << "On Error Resume Next" << kEol << "message = T.Finish()" << kEol
      << "If Err.Number <> 0 Then message = \"the harness failed to finish: \" & Err.Description"
      << kEol << "If message = \"\" Then message = Broken" << kEol
      << "If message <> \"\" Then Quit \"FAIL \" & name & \": \" & message" << kEol
      << "WScript.Echo \"1 passed, 0 failed\"" << kEol;
  return out.str();
}

}  // namespace keystrel::conformance
