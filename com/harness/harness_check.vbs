' Drives a few conformance cases by hand through the harness the generated
' vector scripts use: typed and byte arrays from Arg, an event sink with a
' reaction that runs steps inside the callback, log checks, handle counts,
' recorders created through a case's programmatic identifiers, a key locked
' by a grant, the registry check after the last step, and the runner's
' wording of a failure. Ends with "N passed, N failed".
'
'   cscript //nologo harness_check.vbs
'
' Needs keystrel10.dll and keystrel10-harness.dll registered.
Option Explicit
On Error Resume Next

Dim passed, failed, fso, root, vectors, Hn
passed = 0
failed = 0
Set fso = CreateObject("Scripting.FileSystemObject")
root = fso.GetParentFolderName(fso.GetParentFolderName(fso.GetParentFolderName(WScript.ScriptFullName)))
vectors = root & "\tests\conformance\"

Sub Check(label, got, want)
  If got = want Then
    passed = passed + 1
  Else
    failed = failed + 1
    WScript.Echo "FAIL " & label & ": got [" & got & "], want [" & want & "]"
  End If
End Sub

Sub CheckNoError(label)
  If Err.Number <> 0 Then
    failed = failed + 1
    WScript.Echo "FAIL " & label & ": error " & Err.Number & " " & Err.Description
    Err.Clear
  End If
End Sub

' The cases share one process and one registry here, so each starts by
' removing the keys it seeds (the vector runs get a pristine registry per case).
Dim shell
Set shell = CreateObject("WScript.Shell")
Sub Fresh(key)
  shell.Run "reg delete " & key & " /f", 0, True
End Sub

Set Hn = CreateObject("Keystrel10Test.Harness")
CheckNoError "creating the harness"

' Variables of the cases (VBScript names ignore case: none may be "hn").
Dim h, k, t, r, keys, aa, app, k2, v, a, b, c, d, e, f, g, i, n, name, pass, want

' --- Value forms: Arg's variants survive a script variable and a call. ---
Hn.Load root & "\com\harness\harness_values.json"
CheckNoError "Load harness_values.json"
Hn.Begin 0
a = Hn.Arg("/cases/0/steps/0/value")
b = Hn.Arg("/cases/0/steps/1/value")
c = Hn.Arg("/cases/0/steps/2/value")
d = Hn.Arg("/cases/0/steps/3/value")
e = Hn.Arg("/cases/0/steps/4/value")
f = Hn.Arg("/cases/0/steps/5/value")
g = Hn.Arg("/cases/0/steps/6/value")
i = Hn.Arg("/cases/0/steps/7/value")
CheckNoError "Arg of each value form"
Check "array without storage", VarType(a), 8195
Check "missing marker", VarType(b), 10
Check "string with a NUL", Len(c), 3
Check "byte array", VarType(d), 8209
Check "variant array", VarType(e), 8204
Check "variant array lower bound", LBound(e), 2
Check "error value", VarType(f), 10
Check "decimal", VarType(g), 14
Hn.Name "a", a : Hn.Name "b", b : Hn.Name "c", c : Hn.Name "d", d
Hn.Name "e", e : Hn.Name "f", f : Hn.Name "g", g : Hn.Name "i", i
Set r = Hn.Recorder("/cases/0/steps/8")
Err.Clear
v = r.Ping(a, b, c, d, e, f, g, i)
Hn.Step "/cases/0/steps/9", Err.Number, Err.Source, Err.Description, v
Err.Clear
v = r.Other()
Check "a recorder with fixed methods refuses others", Err.Number, 438
Hn.Step "/cases/0/steps/10", Err.Number, Err.Source, Err.Description, v
Err.Clear
Hn.CheckLog "/cases/0/steps/11"
Check "value forms", Hn.Finish(), ""
Set r = Nothing

Class NoSteps
  Public Sub Run()
  End Sub
End Class

Hn.Begin 1
Dim x
x = "old"
Hn.Name "x", x
Set r = Hn.Recorder("/cases/1/steps/1")
Hn.On "/cases/1/steps/2", New NoSteps
Err.Clear
v = r.Ping(x)
Check "setarg reaches the caller's variable", x, 5
Hn.Name "x", x
Hn.Step "/cases/1/steps/3", Err.Number, Err.Source, Err.Description, v
Check "setarg", Hn.Finish(), ""
Set r = Nothing

' --- Seeding: string data without its NUL is stored without one. ---
Fresh "HKCU\Software\HarnessSeed"
Hn.Begin 2
Check "seeded strings", Hn.Finish(), ""
Fresh "HKCU\Software\HarnessSeed"

' --- Typed arguments and the registry after the last step. ---
Hn.Load vectors & "handler_a_values.json"
CheckNoError "Load handler_a_values.json"
Fresh "HKCU\V"
name = Hn.Begin(3)
Check "Begin gives the case name", name, "SetValue chooses the registry type from the subtype"
Err.Clear
Set h = CreateObject("Keystrel10.clsZqRegyHandlerA")
Hn.Step "/cases/3/steps/0", Err.Number, Err.Source, Err.Description, Empty
Hn.Name "h", h
Err.Clear
k = h.OpenKey(-2147483647, "V")
Hn.Step "/cases/3/steps/1", Err.Number, Err.Source, Err.Description, k
Hn.Name "k", k
Dim names
names = Array("long200", "long256", "minus1", "int1000", "int7", "byte", "yes", "no", "text", _
              "emptytext", "double", "single", "currency", "date", "decimal", "list", "nolist", _
              "empty", "null", "object")
For n = 0 To UBound(names)
  Err.Clear
  v = h.SetValue(k, names(n), Hn.Arg("/cases/3/steps/" & (n + 2) & "/args/2"))
  Hn.Step "/cases/3/steps/" & (n + 2), Err.Number, Err.Source, Err.Description, v
Next
Err.Clear
v = h.SetValue(k, "gone")
Hn.Step "/cases/3/steps/22", Err.Number, Err.Source, Err.Description, v
Err.Clear
v = h.GetValue(k, "yes")
Hn.Step "/cases/3/steps/23", Err.Number, Err.Source, Err.Description, v
Check "typed arguments, registry_after", Hn.Finish(), ""
Set h = Nothing

Hn.Load vectors & "handler_a_enum.json"
Fresh "HKCU\T"
Fresh "HKCU\V"
Hn.Begin 8
Err.Clear
Set h = CreateObject("Keystrel10.clsZqRegyHandlerA")
Hn.Step "/cases/8/steps/0", Err.Number, Err.Source, Err.Description, Empty
Hn.Name "h", h
Err.Clear
t = h.OpenKey(-2147483647, "T")
Hn.Step "/cases/8/steps/1", Err.Number, Err.Source, Err.Description, t
Hn.Name "t", t
Err.Clear
k = h.OpenKey(-2147483647, "V")
Hn.Step "/cases/8/steps/2", Err.Number, Err.Source, Err.Description, k
Hn.Name "v", k
Hn.Sink "/cases/8/steps/3"
Err.Clear
h.EnumKeys t, False, True
Hn.Step "/cases/8/steps/4", Err.Number, Err.Source, Err.Description, Empty
Hn.CheckLog "/cases/8/steps/5"
Err.Clear
h.EnumValues k, True, True
Hn.Step "/cases/8/steps/6", Err.Number, Err.Source, Err.Description, Empty
Hn.CheckLog "/cases/8/steps/7"
Hn.Handles "/cases/8/steps/8"
Check "yield, objects in events", Hn.Finish(), ""
Set h = Nothing

' --- An event sink, a reaction running steps inside the event, the log, handles. ---
Class OnFirstKey
  Public Sub Run()
    On Error Resume Next
    Hn.Handles "/cases/1/steps/3/do/0"
    Err.Clear
    aa = h.OpenKey(t, "AA")
    Hn.Step "/cases/1/steps/3/do/1", Err.Number, Err.Source, Err.Description, aa
    Hn.Name "aa", aa
    Err.Clear
    v = h.CloseKey(aa)
    If pass = 1 Then
      Hn.Step "/cases/1/steps/3/do/2", 5, "src", "desc", Empty
    Else
      Hn.Step "/cases/1/steps/3/do/2", Err.Number, Err.Source, Err.Description, v
    End If
  End Sub
End Class

Hn.Load vectors & "handler_a_enum.json"
For pass = 0 To 1
  Fresh "HKCU\T"
  Hn.Begin 1
  Err.Clear
  Set h = CreateObject("Keystrel10.clsZqRegyHandlerA")
  Hn.Step "/cases/1/steps/0", Err.Number, Err.Source, Err.Description, Empty
  Hn.Name "h", h
  Err.Clear
  t = h.OpenKey(-2147483647, "T")
  Hn.Step "/cases/1/steps/1", Err.Number, Err.Source, Err.Description, t
  Hn.Name "t", t
  Hn.Sink "/cases/1/steps/2"
  Hn.On "/cases/1/steps/3", New OnFirstKey
  Err.Clear
  Set keys = h.EnumKeys(t, True)
  Hn.Step "/cases/1/steps/4", Err.Number, Err.Source, Err.Description, keys
  Hn.Name "keys", keys
  Hn.CheckLog "/cases/1/steps/5"
  Err.Clear
  v = keys.Count
  Hn.Step "/cases/1/steps/6", Err.Number, Err.Source, Err.Description, v
  Err.Clear
  v = h.Count
  Hn.Step "/cases/1/steps/7", Err.Number, Err.Source, Err.Description, v
  Hn.Handles "/cases/1/steps/8"
  If pass = 0 Then
    want = ""
  Else
    ' A failure inside the event names the step whose call raised it.
    want = "step 5 (call h.EnumKeys) > call h.CloseKey at /cases/1/steps/3/do/2: " & _
           "expected no error, actual error {""number"":5,""source"":""src"",""description"":""desc""}"
  End If
  Check "sink, reaction, log, handles (pass " & pass & ")", Hn.Finish(), want
  Set keys = Nothing
  Set h = Nothing
Next

' --- Recorders made through a case's programmatic identifiers. ---
Hn.Load vectors & "host_about.json"
Hn.Begin 0
Err.Clear
Set k = CreateObject("Keystrel10.clsZqKeystrel10A")
Hn.Step "/cases/0/steps/0", Err.Number, Err.Source, Err.Description, Empty
Hn.Name "k", k
Err.Clear
Set app = k.GetProStdProperties
Hn.Step "/cases/0/steps/1", Err.Number, Err.Source, Err.Description, app
Hn.Name "app", app
Err.Clear
v = k.About()
Hn.Step "/cases/0/steps/2", Err.Number, Err.Source, Err.Description, v
Hn.CheckLog "/cases/0/steps/3"
Err.Clear
Set k2 = CreateObject("Keystrel10.clsZqKeystrel10A")
Hn.Step "/cases/0/steps/4", Err.Number, Err.Source, Err.Description, Empty
Hn.Name "k2", k2
Err.Clear
v = k2.About()
Hn.Step "/cases/0/steps/5", Err.Number, Err.Source, Err.Description, v
Hn.CheckLog "/cases/0/steps/6"
Hn.Handles "/cases/0/steps/7"
Check "progids", Hn.Finish(), ""
Set k = Nothing
Set k2 = Nothing
Set app = Nothing

' --- The library's yield and message box reach the hooks object. ---
Hn.Load vectors & "handler_b_root.json"
Hn.Begin 4
Err.Clear
Set h = CreateObject("Keystrel10.clsZqRegyHandlerB")
Hn.Step "/cases/4/steps/0", Err.Number, Err.Source, Err.Description, Empty
Hn.Name "h", h
For Each n In Array(1, 2, 5)
  Err.Clear
  h.hKey = Hn.Arg("/cases/4/steps/" & n & "/value")
  Hn.Step "/cases/4/steps/" & n, Err.Number, Err.Source, Err.Description, Empty
  If n = 2 Then Hn.CheckLog "/cases/4/steps/3"
  If n <> 1 Then
    Err.Clear
    v = h.hKey
    Hn.Step "/cases/4/steps/" & (n + 1 - (n = 2)), Err.Number, Err.Source, Err.Description, v
  End If
Next
Hn.CheckLog "/cases/4/steps/7"
Hn.Handles "/cases/4/steps/8"
Check "message box", Hn.Finish(), ""
Set h = Nothing

' --- A key locked by a grant; then the same case reported wrongly, to see
' the runner's wording of the first failure. ---
Hn.Load vectors & "handler_c_keys.json"
For pass = 0 To 1
  Fresh "HKCU\Software\Maker"
  Hn.Begin 13
  Err.Clear
  Set h = CreateObject("Keystrel10.clsZqRegyHandlerC")
  Hn.Step "/cases/13/steps/0", Err.Number, Err.Source, Err.Description, Empty
  Hn.Name "h", h
  Err.Clear
  h.hKey = -2147483647
  Hn.Step "/cases/13/steps/1", Err.Number, Err.Source, Err.Description, Empty
  Err.Clear
  h.KeyRoot = "Software\Maker"
  Hn.Step "/cases/13/steps/2", Err.Number, Err.Source, Err.Description, Empty
  Err.Clear
  h.Subkey = "App"
  Hn.Step "/cases/13/steps/3", Err.Number, Err.Source, Err.Description, Empty
  Err.Clear
  v = h.DeleteValue("Path")
  If pass = 1 Then v = CLng(0)
  Hn.Step "/cases/13/steps/4", Err.Number, Err.Source, Err.Description, v
  Hn.Handles "/cases/13/steps/5"
  If pass = 0 Then
    want = ""
  Else
    want = "step 5 (call h.DeleteValue) at /cases/13/steps/4: expected 5, actual 0"
  End If
  Check "grant (pass " & pass & ")", Hn.Finish(), want
  Set h = Nothing
Next

CheckNoError "the last steps"
WScript.Echo passed & " passed, " & failed & " failed"
