// Resource identifiers the framework knows.
#pragma once

// The application's title, in each module's own string table.
#define AFX_IDS_APP_TITLE 0xE000

// The framework's own messages, in its own string table; a module may
// replace any of them by defining the same identifier in its table.
#define AFX_IDP_INTERNAL_FAILURE 0xF004
#define AFX_IDP_COMMAND_FAILURE 0xF005
#define AFX_IDP_NO_ERROR_AVAILABLE 0xF006
#define AFX_IDP_PARSE_INT 0xF110
#define AFX_IDP_PARSE_REAL 0xF111
#define AFX_IDP_PARSE_INT_RANGE 0xF112
#define AFX_IDP_PARSE_REAL_RANGE 0xF113
#define AFX_IDP_PARSE_STRING_SIZE 0xF114
#define AFX_IDS_MEMORY_EXCEPTION 0xF1A0
#define AFX_IDS_NOT_SUPPORTED_EXCEPTION 0xF1A1
#define AFX_IDS_RESOURCE_EXCEPTION 0xF1A2
#define AFX_IDS_USER_EXCEPTION 0xF1A3

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
