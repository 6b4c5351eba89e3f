// A test-only class that exercises every kind of step the conformance runner
// knows, before (and independently of) the library's own classes. Not part of
// the library: only the runner's self-test registers it.
//
// clsZqTestProbe (global: creatable, with a predeclared instance, progid
// "Keystrel10.clsZqTestProbe"), in slot order:
//   Name            String property, the default member (dispatch identifier 0)
//   Number          Long property
//   Buddy           Object property (get / set)
//   Stop            Boolean property: ends a running Fire after its current step
//   Cell(Index)     indexed Variant property (get / let)
//   Echo(Value)     returns Value unchanged
//   Kind(Value)     the runtime's TypeName of Value
//   Swap(ByRef A, ByRef B)        exchanges two Variants
//   Bump(ByRef N As Long)         adds 1
//   Describe([V], [S = "dflt"])   "missing/dflt", "Long/x", ...
//   Fail(Number, [Source], [Description])  raises that error
//   Items(Count)    a Collection of "item1".."itemN" under keys "k1".."kN"
//   Child(Text)     a clsZqTestProbeItem whose default member is Text
//   Fire(Count)     for 1..Count raises Tick(Index, ByRef Answer) (or calls the
//                   buddy's "Probe_Tick" late-bound), honours Stop, then raises
//                   Done(Steps) (buddy: "Probe_Done"); returns the answers as a
//                   variant array
//   Wait(Times)     yields Times times
//   Alert(Prompt, [Style = 0], [Title = "Probe"])  shows a message box; returns the button
//   Hold(Root, Path) / LetGo      opens a key for reading and keeps it / closes all kept
//   ReadValue(Root, Path, Name, [ByRef ValueType])  text, Long (dword) or bytes
//   WriteValue(Root, Path, Name, Data)  creates the key; text as 1, numbers as 4, bytes as 3
//   DeleteKey(Root, Path)         the platform's result
//   RemoteRead(Computer, Path, Name)  a value under HKLM of another computer
//   Expand(Text)    environment expansion
//   Make(ProgId)    creates by programmatic identifier, calls its Hello("probe"), returns it
// Registry failures raise the platform's result as the error number, source
// "clsZqTestProbe".
#ifndef KEYSTREL_TOOLS_CONFORMANCE_TESTING_PROBE_H_
#define KEYSTREL_TOOLS_CONFORMANCE_TESTING_PROBE_H_

namespace keystrel::conformance::testing {

// Adds clsZqTestProbe and clsZqTestProbeItem to the catalogue (once).
void RegisterProbeClasses();

}  // namespace keystrel::conformance::testing

#endif  // KEYSTREL_TOOLS_CONFORMANCE_TESTING_PROBE_H_
