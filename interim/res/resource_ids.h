#pragma once
// TEMPORARY stand-in for the resources branch's IDs.
#define IDI_QLXDRIVE 1
#define IDI_CLOUD_BLUE 101
#define IDI_CLOUD_RED 102
#define IDI_CLOUD_GREEN 103
#define IDI_CLOUD_ORANGE 104
#define IDI_CLOUD_VIOLET 105
