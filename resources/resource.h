#pragma once
// Resource ids of the resource module (DelvoraRes.dll, one per language) and of
// the program that loads them. Included by the .rc files, so: macros only.

// Executable's own icon (the program's .rc, not the resource module).
#define IDR_MAINFRAME                 128

// Dialog templates.
#define IDD_ABOUTBOX                  100
#define IDD_GLOBAL_PAGE               103
#define IDD_DEVICE_PAGE               104
#define IDD_RECORD_LOG_PAGE           105
#define IDD_LOG_SETTINGS              132
#define IDD_HISTORY_SIZE              134

// Menus.
#define IDR_RECORD_LOG_MENU           133
#define IDR_PAGE_MENU                 134
// Context menus of the list pages' rows (one popup each).
#define IDR_DEVICE_CONTEXT_MENU       138
#define IDR_RECORD_CONTEXT_MENU       139

// Icons: the header's sort marks and the device rows' images.
#define IDR_SORT_ASCENDING            129
#define IDR_SORT_DESCENDING           130
#define IDR_SORT_NONE                 131
#define IDR_STREAM_RUNNING            135
#define IDR_STREAM_IDLE               136
#define IDR_STREAM_NOT_ANSWERING      137

// Strings.
#define IDS_ERROR_HELP                102
#define IDS_STOP_LOGGING              104   // start/stop button while a log file is open
#define IDS_ERROR_FILE_OPEN           105   // printf-style: %s the path
#define IDS_COL_DEVICE                106
#define IDS_COL_START_TIME            107
#define IDS_COL_END_TIME              108
#define IDS_COL_ADDRESS               109
#define IDS_COL_ADDRESS_PORT          110
#define IDS_COL_PORT                  111
#define IDS_COL_DURATION              112
#define IDS_COL_AVERAGE               113
#define IDS_LOG_LABEL_OPEN            114
#define IDS_LOG_LABEL_CLOSED          115
#define IDS_LOG_NOTE_OPEN             116
#define IDS_LOG_NOTE_CLOSED           117
#define IDS_PROMPT_OVERWRITE          118   // message-style: %1 the path
#define IDS_VALUE_RANGE               119   // message-style: %1 lower, %2 upper bound
#define IDS_COL_STATE                 120
#define IDS_STATE_RUNNING             121
#define IDS_FAILED_QUERY_DRIVER       122   // message-style: %1 device, %2 kind, %3 code, %4 system text
#define IDS_COL_COUNTER               123
#define IDS_NO_PACKETS                124
#define IDS_START_LOGGING             125   // start/stop button while no log file is open
#define IDS_STATUS_LOGGING            126
#define IDS_STATUS_NOT_LOGGING        127
#define IDS_CODEC_PCM                 128
#define IDS_CODEC_G711_MULAW          129
#define IDS_CODEC_G711_ALAW           130
#define IDS_CODEC_G729                131
#define IDS_CODEC_OTHER               132   // message-style: %1 the tag in hexadecimal
#define IDS_COL_CODEC                 133
#define IDS_ERROR_FILE_WRITE          134   // message-style: %1 the path, %2 system text
#define IDS_STATUS_WRITE_FAILED       135   // status while lines fail to reach the log file
#define IDS_STATE_NOT_ANSWERING       140   // state of a device whose last request failed
#define IDS_MORE_FAILED_DEVICES       141   // message-style: %1 how many other devices failed
#define IDS_NO_DEVICES                142   // message-style: %1 the registry key of the devices
#define IDS_STATUS_LOGGING_TO         143   // message-style: %1 the path of the open log file
#define IDS_DRIVER_NOT_ANSWERING      144   // message-style: %1 when the driver stopped answering
#define IDS_RECORDER_RUNNING          145   // message-style: %1 the file the recorder writes today
#define IDS_RECORDER_STOPPED          146
#define IDS_RECORDER_NOT_INSTALLED    147
#define IDS_RECORDER_PENDING          148
#define IDS_RECORDER_UNKNOWN          149   // message-style: %1 system text
#define IDS_ERROR_OPEN_FOLDER         150   // message-style: %1 the folder, %2 system text
// Titles of the global history's copied columns; the active streams and the rates
// also name the graphs' lines.
#define IDS_HISTORY_TIME              151
#define IDS_HISTORY_ACTIVE            152
#define IDS_HISTORY_ENDED             153
#define IDS_HISTORY_PACKETS           154
#define IDS_HISTORY_LOST              155
#define IDS_HISTORY_UPTIME            156
#define IDS_HISTORY_STARTED_G711      157
#define IDS_HISTORY_STARTED_G729      158
#define IDS_HISTORY_STARTED_OTHER     159
#define IDS_HISTORY_TALK_G711         160
#define IDS_HISTORY_TALK_G729         161
#define IDS_HISTORY_TALK_OTHER        162
#define IDS_HISTORY_ENDED_PER_MINUTE  163
#define IDS_HISTORY_PACKETS_PER_SECOND 164
#define IDS_HISTORY_LOST_PER_SECOND   165
#define IDS_GRAPH_MINUTES_AGO         166   // message-style: %1!d! minutes before the newest sample
#define IDS_GRAPH_NOW                 167   // under the newest sample
#define IDS_GRAPH_NO_VALUE            168   // a line's gap in the tooltip and for screen readers
#define IDS_GRAPH_NO_ANSWER           169   // message-style: %1 the time of a request the driver did not answer
// The list pages' filter and the saved history.
#define IDS_FILTER_CUE                170   // the filter box's cue while it is empty
#define IDS_FILTER_COUNT              171   // message-style: %1 rows shown, %2 rows in all
#define IDS_SAVE_TITLE_ALL            172   // message-style: %1 rows saved (every row)
#define IDS_SAVE_TITLE_FILTERED       173   // message-style: %1 rows saved, %2 rows in all
#define IDS_ERROR_SAVE_HISTORY        174   // message-style: %1 the path, %2 system text

// Labels that nobody addresses.
#ifndef IDC_STATIC
#define IDC_STATIC                    (-1)
#endif

// Controls of the about box.
#define IDC_ABOUT_ICON                1100
#define IDC_ABOUT_VERSION             1101

// Controls of the global page (103).
#define IDC_RESET_COUNTERS            1001
#define IDC_GROUP_A0                  1002
#define IDC_GROUP_B0                  1003
#define IDC_GROUP_A1                  1004
#define IDC_GROUP_B1                  1005
#define IDC_COUNTER1                  1006
#define IDC_COUNTER2                  1007
#define IDC_COUNTER3                  1008
#define IDC_COUNTER4                  1009
#define IDC_COUNTER5                  1010
#define IDC_GROUP_A2                  1011
#define IDC_TIMESTAMP                 1012
#define IDC_GROUP_B2                  1013
#define IDC_GLOBAL_NOTE               1014
#define IDC_GRAPH_SPAN_10             1020  // the graphs' span: the last 10 minutes
#define IDC_GRAPH_SPAN_60             1021  // or the last hour (follows 1020: one range)
#define IDC_GRAPH_COUNTS              1022
#define IDC_GRAPH_TRAFFIC             1023

// Controls of the device page (104).
#define IDC_DEVICE_LIST               1000
#define IDC_DETAILS                   1016
#define IDC_NO_DEVICES                1017

// Above the list of either list page: the filter box, and on the record log page
// how many rows it lets through.
#define IDC_LIST_FILTER               1024
#define IDC_FILTER_COUNT              1025

// Controls of the record log page (105).
#define IDC_CLEAR_RECORDS             1003
#define IDC_START_STOP                1004
#define IDC_RECORD_LIST               1006
#define IDC_LOG_STATUS                1011
#define IDC_RECORDER_STATUS           1019

// Controls of the logging settings dialog (132).
#define IDC_LOG_PATH                  1009
#define IDC_BROWSE                    1010
#define IDC_LOG_LABEL                 1011
#define IDC_LOG_NOTE                  1012
#define IDC_START_LOGGING             1013
#define IDC_WRITE_HISTORY             1014
#define IDC_STOP_LOGGING              1015

// Controls of the history size dialog (134); its OK button is IDOK.
#define IDC_HISTORY_SIZE              1015

// Menu commands.
#define ID_EXIT                       32772
#define ID_LOG_SETTINGS               32774
#define ID_ABOUT                      32775
#define ID_HISTORY_SIZE               32777
#define ID_OPEN_RECORDER_FOLDER       32778
#define ID_SAVE_HISTORY_AS            32779
#define ID_CLEAR_HISTORY              32780
// View > Sort by: the list's columns in their order, one command each.
#define ID_SORT_BY_FIRST              32790
#define ID_SORT_BY_LAST               32799
#ifndef ID_HELP
#define ID_HELP                       57670
#endif
// Edit menu of the list pages (Ctrl+C and Ctrl+A in a list send them too); the
// global page copies its graphs' samples.
#ifndef ID_EDIT_COPY
#define ID_EDIT_COPY                  0xE122
#endif
#ifndef ID_EDIT_SELECT_ALL
#define ID_EDIT_SELECT_ALL            0xE12A
#endif
// Edit > Filter (Ctrl+F, Ctrl+E): the focus goes to the filter box.
#ifndef ID_EDIT_FIND
#define ID_EDIT_FIND                  0xE124
#endif
