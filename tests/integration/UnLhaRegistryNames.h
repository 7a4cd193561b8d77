// Names under HKEY_CLASSES_ROOT that registering vesker.DLL writes or touches,
// and the line the check scripts print when every check held.
#pragma once

const wchar_t kClassIdText[] = L"{B2A2F2E1-05B1-11D2-BC01-006097839C16}";
const wchar_t kClassKey[] = L"CLSID\\{B2A2F2E1-05B1-11D2-BC01-006097839C16}";
const wchar_t kTypeLibKey[] = L"TypeLib\\{B2A2F2D3-05B1-11D2-BC01-006097839C16}";
const wchar_t kInterfaceKey[] = L"Interface\\{B2A2F2E0-05B1-11D2-BC01-006097839C16}";
const char kScriptSentinel[] = "UnLhaCheck: passed";
