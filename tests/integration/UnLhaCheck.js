// Drives UnLha.Command.1 late-bound, as a script host user does.
// Usage: cscript //nologo UnLhaCheck.js <text>
// <text> (no spaces) must come back unchanged through the archiver's echo.
// Prints "UnLhaCheck: passed" as its last line when every check held; a failed
// check prints what differed and the script exits with 1.
// The object is created by its versioned ProgID: Wine 8's CLSIDFromProgID does
// not follow CurVer from "UnLha.Command" (Windows does).
var failures = 0;

function check(name, actual, expected) {
    if (actual !== expected) {
        WScript.Echo("FAILED " + name + ": got [" + actual + "], expected [" + expected + "]");
        failures++;
    }
}

var text = WScript.Arguments(0);
var unlha = new ActiveXObject("UnLha.Command.1");

check("hwnd at start", unlha.hwnd, 0);
unlha.hwnd = 4660;
check("hwnd after assignment", unlha.hwnd, 4660);

unlha.DoIt("echo " + text);
check("echo ErrorCode", unlha.ErrorCode, 0);
check("echo ResultString", unlha.ResultString, text);

unlha.DoIt("args");
check("library sees hwnd and command line", unlha.ResultString, "hwnd=4660 size=65536 cmdline=args");

unlha.DoIt("exit 7 seven");
check("exit ErrorCode", unlha.ErrorCode, 7);
check("exit ResultString", unlha.ResultString, "seven");

unlha.DoIt("exit -3");
check("negative ErrorCode", unlha.ErrorCode, -3);

// ErrorCode is read-only: assigning to it is an error the script can catch.
var refused = false;
try {
    unlha.ErrorCode = 1;
} catch (e) {
    refused = true;
}
check("assigning to ErrorCode raises an error", refused, true);
check("ErrorCode after the refused assignment", unlha.ErrorCode, -3);

unlha = null;
if (failures > 0) WScript.Quit(1);
WScript.Echo("UnLhaCheck: passed");
