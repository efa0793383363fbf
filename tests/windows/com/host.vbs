' A late-bound host like the real one: creates the driver by its ProgID and
' calls it from script, with variables (passed by reference) and literals.
' usage: cscript //nologo host.vbs basic|lifecycle|badsettings APP_TITLE
' Prints one line per check and the closing line "host.vbs: finished";
' exits with the number of failed checks.
Option Explicit

Dim failures : failures = 0
Sub Check(ok, what)
  If ok Then
    WScript.Echo "ok: " & what
  Else
    WScript.Echo "FAIL: " & what
    failures = failures + 1
  End If
End Sub

' Checks the error the last call raised, then clears it.
Sub CheckError(number, description, what)
  Check Err.Number = number And Err.Description = description, what & " raises " & number & " " & description & _
    " (got " & Err.Number & " " & Err.Description & ")"
  Err.Clear
End Sub

Sub Finish(code)
  WScript.Echo "host.vbs: finished"
  WScript.Quit code
End Sub

' The host's helper object.
Class DmxInput
  Public Calls
  Public Sub LMST_DMXIn_SetChannel(Channel, Value)
    Calls = Calls + 1
  End Sub
End Class

Dim mode, appTitle, fileName, helper, driver, result, channel, value
mode = WScript.Arguments(0)
appTitle = WScript.Arguments(1)
fileName = "ArtNet.dll"
Set helper = New DmxInput

On Error Resume Next
Set driver = CreateObject("ArtNet.clsOutputDriver")
If Err.Number <> 0 Then
  Check False, "CreateObject(""ArtNet.clsOutputDriver""): " & Err.Number & " " & Err.Description
  Finish 1
End If

Select Case mode
Case "basic"
  Check driver.PluginName = "ArtNet Plugin", "PluginName is ArtNet Plugin"
  Check TypeName(driver.PluginName()) = "String", "PluginName() is a String"

  ' Output is off in a fresh process: values are stored, nothing is sent.
  channel = 5 : value = 200
  result = driver.SetChannel(channel, value)
  Check Err.Number = 0 And result = True And TypeName(result) = "Boolean", "SetChannel(channel, value) is True"
  Check channel = 5 And value = 200, "the variables are not written back"
  Check driver.SetChannel(512, 255) = True, "SetChannel(512, 255) is True"
  Check driver.SetChannel(513, 10) = False, "SetChannel(513, 10) is False"
  channel = CInt(7)
  Check driver.SetChannel(channel, CByte(1)) = True, "SetChannel with an Integer and a Byte is True"

  result = driver.SetChannel(0, 5)
  CheckError 9, "Subscript out of range", "SetChannel(0, 5)"
  result = driver.SetChannel(-3, 5)
  Check Err.Source = "ArtNet.clsOutputDriver", "the error's source is ArtNet.clsOutputDriver (got " & Err.Source & ")"
  CheckError 9, "Subscript out of range", "SetChannel(-3, 5)"
  value = 256
  result = driver.SetChannel(10, value)
  CheckError 6, "Overflow", "SetChannel(10, 256)"
  result = driver.SetChannel(-2147483648, 1)
  CheckError 6, "Overflow", "SetChannel(-2147483648, 1)"
  result = driver.SetChannel("one", 1)
  CheckError 13, "Type mismatch", "SetChannel(""one"", 1)"
  result = driver.SetChannel(1)
  Check Err.Number = 450, "SetChannel with one argument raises 450 (got " & Err.Number & ")"
  Err.Clear
  result = driver.SetChannel(, 5)
  Check Err.Number = 449, "SetChannel with an omitted argument raises 449 (got " & Err.Number & ")"
  Err.Clear
  result = driver.Flush()
  Check Err.Number = 438, "an unknown method raises 438 (got " & Err.Number & ")"
  Err.Clear

Case "badsettings"
  ' ArtNet_SubNet holds text that is not a number.
  result = driver.Init(appTitle, fileName, helper)
  CheckError 13, "Type mismatch", "Init with a non-numeric setting"
  result = driver.Term()
  Check Err.Number = 0 And result = False, "Term writes the values in memory back"

Case "lifecycle"
  result = driver.Init(appTitle, fileName, helper)
  Check Err.Number = 0 And result = False, "Init(appTitle, fileName, helper) is False (" & Err.Number & ")"
  Err.Clear
  Check driver.Init(appTitle, "ArtNet.dll", Nothing) = False And Err.Number = 0, "Init with literals and Nothing is False"
  Err.Clear
  result = driver.Init(appTitle, fileName, helper)
  result = driver.Enable()
  Check Err.Number = 0 And result = True, "Enable is True (" & Err.Number & " " & Err.Description & ")"
  Err.Clear
  channel = 1 : value = 255
  Check driver.SetChannel(channel, value) = True, "SetChannel(channel, value) while enabled is True"
  Check driver.SetChannel(2, 7) = True, "SetChannel(2, 7) while enabled is True"
  Check driver.SetChannel(513, 1) = False, "SetChannel(513, 1) while enabled is False"
  result = driver.Disable()
  Check Err.Number = 0 And result = True, "Disable is True"
  result = driver.Term()
  Check Err.Number = 0 And result = False, "Term is False"
  Err.Clear
  Check driver.Disable() = True, "Disable after Term is True"

Case Else
  Check False, "unknown mode " & mode
End Select

Set driver = Nothing
Finish failures
