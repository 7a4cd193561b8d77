' Drives UnLha.Command.1 on our archiver (vesker.DLL registered from
' build/bin/archiver), as a script host user does.
' Usage: cscript //nologo ArchiverCheck.vbs <scratch folder>
' The folder holds "source" (files, some with names of the system code page
' beyond ASCII) and "many" (enough members to overflow the 65,536-byte output
' area when listed). Prints "ArchiverCheck: passed" as its last line when every
' check held; a failed check prints what differed and the script exits with 1.
Option Explicit

Const OutputAreaSize = 65536
Const ArchiveNotFound = &H8018& ' archiver/README.md: the archive cannot be opened

Dim failures, fso, unlha, scratch
failures = 0

Sub Check(name, holds, detail)
    If Not holds Then
        WScript.Echo "FAILED " & name & ": " & detail
        failures = failures + 1
    End If
End Sub

Function Count(text, part)
    Count = (Len(text) - Len(Replace(text, part, ""))) / Len(part)
End Function

Function Contents(path)
    Dim stream
    Set stream = fso.OpenTextFile(path, 1)
    If stream.AtEndOfStream Then Contents = "" Else Contents = stream.ReadAll
    stream.Close
End Function

Function Run(commandLine)
    unlha.DoIt commandLine
    Run = unlha.ErrorCode
End Function

Set fso = CreateObject("Scripting.FileSystemObject")
scratch = WScript.Arguments(0)
Set unlha = CreateObject("UnLha.Command.1")

' Create, list, extract elsewhere, compare.
Dim archive, source, destination, listing, file, code
archive = scratch & "\names.lzh"
source = scratch & "\source\"
destination = scratch & "\extracted\"
code = Run("a " & archive & " " & source & " *")
Check "a ErrorCode", code = 0, code & ": " & unlha.ResultString

code = Run("l " & archive)
listing = unlha.ResultString
Check "l ErrorCode", code = 0, code & ": " & listing
Check "listing lines end with CR LF", Count(listing, vbCrLf) >= fso.GetFolder(source).Files.Count, listing
Check "no bare LF", Count(listing, vbLf) = Count(listing, vbCrLf), listing
For Each file In fso.GetFolder(source).Files
    Check "listing names " & file.Name, InStr(listing, file.Name) > 0, listing
Next

code = Run("x " & archive & " " & destination)
Check "x ErrorCode", code = 0, code & ": " & unlha.ResultString
For Each file In fso.GetFolder(source).Files
    If fso.FileExists(destination & file.Name) Then
        Check "extracted " & file.Name, Contents(destination & file.Name) = Contents(file.Path), "content differs"
    Else
        Check "extracted " & file.Name, False, "missing"
    End If
Next

' A missing archive.
code = Run("l " & scratch & "\missing.lzh")
Check "missing archive ErrorCode", code = ArchiveNotFound, code & ": " & unlha.ResultString
Check "missing archive says so", Len(unlha.ResultString) > 0, "no text"

' A listing longer than the area: cut at its last byte but one, whose LF
' became CR LF on the way (the names are ASCII, one byte a character).
code = Run("a " & scratch & "\many.lzh " & scratch & "\many\ *")
Check "a of many ErrorCode", code = 0, code & ": " & Left(unlha.ResultString, 200)
code = Run("l " & scratch & "\many.lzh")
listing = unlha.ResultString
Check "overflowing listing cut at the area's end", Len(listing) - Count(listing, vbCrLf) = OutputAreaSize - 1, _
    Len(listing) & " characters with " & Count(listing, vbCrLf) & " CR LF"

Set unlha = Nothing
If failures > 0 Then WScript.Quit 1
WScript.Echo "ArchiverCheck: passed"
