#pragma once
// String-table texts of the voice.
#define IDS_VOICE_DEVICE_PROBLEM 6300
#define IDS_VOICE_UDP_PROXY 6301
#define IDS_VOICE_UDP_UNAVAILABLE 6302
#define IDS_VOICE_WARN 6303
