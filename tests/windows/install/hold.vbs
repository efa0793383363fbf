' Holds ArtNet.dll loaded, as a running host does: creates the class, then
' the file ARG 0, and ends once the file ARG 1 exists (cscript cannot sleep).
Set files = CreateObject("Scripting.FileSystemObject")
Set driver = CreateObject("ArtNet.clsOutputDriver")
files.CreateTextFile(WScript.Arguments(0)).Close
Do Until files.FileExists(WScript.Arguments(1))
Loop
