' Creates objects by programmatic identifier and calls members through
' IDispatch: values written and read back, by-reference write-back, an error
' with number, source and description, For Each over a collection.
Option Explicit
Dim passed, failed
passed = 0 : failed = 0

Sub Check(name, actual, expected)
  If actual = expected Then
    passed = passed + 1
  Else
    failed = failed + 1
    WScript.Echo "FAIL " & name & ": got [" & actual & "] expected [" & expected & "]"
  End If
End Sub

Const HKCU = &H80000001
Dim c, a, u, key, n, item, names
Set c = CreateObject("Keystrel10.clsZqRegyHandlerC")
c.hKey = HKCU
c.KeyRoot = "Software\KeystrelComSmoke"
c.Subkey = "Values"
Check "hKey property", c.hKey, HKCU
c.CreateKey
Check "KeyExists after CreateKey", c.KeyExists, True
Check "SetRegistryValue", c.SetRegistryValue("Text", "hello", 1), True
Check "GetRegistryValue", c.GetRegistryValue("Text", "none"), "hello"
Check "default for a missing value", c.GetRegistryValue("Nothing here", "none"), "none"
Check "SetRegistryValue dword", c.SetRegistryValue("Number", 42, 4), True
Check "GetRegistryValue dword", c.GetRegistryValue("Number", 0), 42
' The real ExpandEnvironmentStringsA counts one byte more than it writes:
' the expanded text must still end where the text ends.
Dim expanded
Check "SetRegistryValue expand", c.SetRegistryValue("Expand", "%SystemRoot%\x", 2), True
expanded = c.GetRegistryValue("Expand", "")
Check "expanded text has no NUL", InStr(expanded, Chr(0)), 0
Check "expanded text ends as stored", Right(expanded, 2), "\x"
Check "reference replaced", InStr(expanded, "%"), 0
Check "TypeName", Replace(TypeName(c), "_", ""), "clsZqRegyHandlerC"

Set a = CreateObject("Keystrel10.clsZqRegyHandlerA")
key = a.OpenKey(HKCU, "Software\KeystrelComSmoke\Values")
Check "OpenKey gives a handle", (key <> 0), True
n = 0
names = ""
For Each item In a.EnumValues(key, False, False)
  n = n + 1
  names = names & "|" & item.ValueName
Next
Check "For Each over values", n >= 3, True
Check "values listed", InStr(names, "|Text") > 0, True
a.CloseKey key

' Buddy callbacks go late-bound into the script's own object; the yield
' (fDoEvents) pumps messages between items.
Class KeyCounter
  Public Count
  Public Names
  Private Sub Class_Initialize()
    Count = 0 : Names = ""
  End Sub
  Public Sub clsZqRegyHandlerA_KeyEnumerated(RegKey, HasChildren)
    Count = Count + 1
    Names = Names & "|" & RegKey & "=" & CStr(HasChildren)
  End Sub
End Class
Dim counter
Set counter = New KeyCounter
c.Subkey = "Values\Child\Grandchild"
c.CreateKey
Set a.BuddyObject = counter
key = a.OpenKey(HKCU, "Software\KeystrelComSmoke")
a.EnumKeys key, True, True, True
a.CloseKey key
Check "buddy called per key", counter.Count, 1
Check "buddy arguments", counter.Names, "|Values=True"
Set a.BuddyObject = Nothing
c.Subkey = "Values"

' An error of the library's own reaches the script with its number.
Set u = CreateObject("Keystrel10.clsZqRegyUtilitesA")
On Error Resume Next
Dim missing
Set missing = CreateObject("Keystrel10.clsZqRegyHandlerAKeyA")
Check "not creatable", Err.Number, 429
Err.Clear
c.NoSuchMember
Check "unknown member", Err.Number, 438
Err.Clear
On Error GoTo 0

Check "DeleteKey of a child", c.DeleteKey("Values\Child\Grandchild"), 0
Check "DeleteKey of a child", c.DeleteKey("Values\Child"), 0
Check "DeleteKey", c.DeleteKey("Values"), 0
Check "KeyExists after DeleteKey", c.KeyExists, False
c.KeyRoot = "Software"
Check "DeleteKey of the test root", c.DeleteKey("KeystrelComSmoke"), 0

WScript.Echo passed & " passed, " & failed & " failed"
If failed > 0 Then WScript.Quit 1
