' Holds ArtNet.dll loaded, as a running host does, until told to let go.
' usage: cscript //nologo hold.vbs HELD_FILE RELEASE_FILE
' Creates the class, then HELD_FILE, and ends once RELEASE_FILE exists
' (cscript has no WScript.Sleep: it polls).
Set files = CreateObject("Scripting.FileSystemObject")
Set driver = CreateObject("ArtNet.clsOutputDriver")
WScript.Echo "holding " & driver.PluginName
files.CreateTextFile(WScript.Arguments(0)).Close
Do Until files.FileExists(WScript.Arguments(1))
Loop
WScript.Echo "released"
