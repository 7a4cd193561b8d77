' Drives UnLha.Command.1 late-bound, as a script host user does.
' Usage: cscript //nologo UnLhaCheck.vbs <text>
' <text> (no spaces) must come back unchanged through the archiver's echo.
' Prints "UnLhaCheck: passed" as its last line when every check held; a failed
' check prints what differed and the script exits with 1.
' The object is created by its versioned ProgID: Wine 8's CLSIDFromProgID does
' not follow CurVer from "UnLha.Command" (Windows does).
Option Explicit

Dim failures
failures = 0

Sub Check(name, actual, expected)
    ' A Null would make the comparison below Null, which If takes as false.
    If IsNull(actual) Then
        WScript.Echo "FAILED " & name & ": got Null"
        failures = failures + 1
    ElseIf actual <> expected Then
        WScript.Echo "FAILED " & name & ": got [" & actual & "], expected [" & expected & "]"
        failures = failures + 1
    End If
End Sub

Dim text, unlha, assignError
text = WScript.Arguments(0)
Set unlha = CreateObject("UnLha.Command.1")

' hwnd is an unsigned int, a type VBScript cannot compute with: the script
' sets it and the archiver's "args" answer shows the value arrived. Reading it
' back is checked by the JScript twin.
unlha.hwnd = 4660

unlha.DoIt "echo " & text
Check "echo ErrorCode", unlha.ErrorCode, 0
Check "echo ResultString", unlha.ResultString, text

unlha.DoIt "args"
Check "library sees hwnd and command line", unlha.ResultString, "hwnd=4660 size=65536 cmdline=args"

unlha.DoIt "exit 7 seven"
Check "exit ErrorCode", unlha.ErrorCode, 7
Check "exit ResultString", unlha.ResultString, "seven"

unlha.DoIt "exit -3"
Check "negative ErrorCode", unlha.ErrorCode, -3
Check "no output gives the empty text", unlha.ResultString, ""

' ErrorCode is read-only: assigning to it is an error the script can catch.
On Error Resume Next
unlha.ErrorCode = 1
assignError = Err.Number
Err.Clear
On Error GoTo 0
If assignError = 0 Then
    WScript.Echo "FAILED assigning to ErrorCode raised no error"
    failures = failures + 1
End If
Check "ErrorCode after the refused assignment", unlha.ErrorCode, -3

Set unlha = Nothing
If failures > 0 Then WScript.Quit 1
WScript.Echo "UnLhaCheck: passed"
