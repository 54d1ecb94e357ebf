// Kernel services of the window system: modules and their resources, string
// helpers and the thread's last error.
#pragma once

#include "win/wintypes.h"

#define RT_STRING MAKEINTRESOURCEA(6)
#define RT_DIALOG MAKEINTRESOURCEA(5)
#define RT_RCDATA MAKEINTRESOURCEA(10)

#define ERROR_SUCCESS 0L
#define ERROR_INVALID_WINDOW_HANDLE 1400L
#define ERROR_CLASS_ALREADY_EXISTS 1410L
#define ERROR_CLASS_DOES_NOT_EXIST 1411L
#define ERROR_CLASS_HAS_WINDOWS 1412L
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814L
#define ERROR_NO_MORE_INPUT 1815L  // GetMessageA: no presentation input will ever come
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_CANNOT_FIND_WND_CLASS 1407L

extern "C" {

// Compares without regard to case (ASCII letters fold); 0 when equal, else
// the sign of the first difference.
WIN_API int WINAPI lstrcmpiA(LPCSTR lpString1, LPCSTR lpString2);
WIN_API int WINAPI lstrcmpA(LPCSTR lpString1, LPCSTR lpString2);
WIN_API int WINAPI lstrlenA(LPCSTR lpString);
WIN_API LPSTR WINAPI lstrcpynA(LPSTR lpString1, LPCSTR lpString2, int iMaxLength);
WIN_API int WINAPI MulDiv(int nNumber, int nNumerator, int nDenominator);

WIN_API DWORD WINAPI GetLastError(void);
WIN_API void WINAPI SetLastError(DWORD dwErrCode);

// The module of that name (see win/resources.h for creating modules), or the
// program's own module for a null name.
WIN_API HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName);
WIN_API DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize);
WIN_API HRSRC WINAPI FindResourceA(HMODULE hModule, LPCSTR lpName, LPCSTR lpType);
WIN_API HGLOBAL WINAPI LoadResource(HMODULE hModule, HRSRC hResInfo);
WIN_API LPVOID WINAPI LockResource(HGLOBAL hResData);
WIN_API DWORD WINAPI SizeofResource(HMODULE hModule, HRSRC hResInfo);
WIN_API BOOL WINAPI FreeResource(HGLOBAL hResData);

}  // extern "C"
