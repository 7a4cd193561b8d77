' Runs one archiver command line through vesker.DLL and prints what came back:
'   cscript //nologo RunCommand.vbs <archiver command line>
' Several arguments are joined with single spaces into one command line.
' Prints "ErrorCode: <n>" and "ResultString: <text>"; exits with 1 when the
' object cannot be created (vesker.DLL not registered, or UNLHA32.dll missing).
Option Explicit

Dim commandLine, i, unlha
commandLine = ""
For i = 0 To WScript.Arguments.Count - 1
    If i > 0 Then commandLine = commandLine & " "
    commandLine = commandLine & WScript.Arguments(i)
Next

' "UnLha.Command" names the newest version on Windows; the versioned name works
' everywhere, also on Wine, whose CLSIDFromProgID does not follow CurVer.
On Error Resume Next
Set unlha = CreateObject("UnLha.Command.1")
If Err.Number <> 0 Then
    WScript.Echo "RunCommand: cannot create UnLha.Command.1 (error " & Hex(Err.Number) & _
        "): register vesker.DLL with regsvr32 beside UNLHA32.dll first"
    WScript.Quit 1
End If
On Error GoTo 0

unlha.DoIt commandLine
WScript.Echo "ErrorCode: " & unlha.ErrorCode
WScript.Echo "ResultString: " & unlha.ResultString
