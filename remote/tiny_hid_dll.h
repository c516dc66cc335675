/* The HID library the program talks to the remote through.
 *
 * Four calls with C linkage. Any library that honours them serves: the
 * program loads it by name, so a replacement of the same name may stand in.
 */
#ifndef TINY_HID_DLL_H
#define TINY_HID_DLL_H

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32) && defined(TINY_HID_DLL_BUILD)
#define TINY_HID_API __declspec(dllexport)
#elif defined(_WIN32)
#define TINY_HID_API __declspec(dllimport)
#else
#define TINY_HID_API __attribute__((visibility("default")))
#endif

/* A handle to the first device with these ids, or -1 when there is none. */
TINY_HID_API int OpenHidHandle(int vendorId, int productId);

/* Sends the output report that starts at report[0] (its id). No length is
 * passed: the library knows each report's length by its id. Bytes sent, or -1. */
TINY_HID_API int WriteReport(int handle, unsigned char *report, unsigned int *word);

/* Waits, with no time limit, for one input report and places it whole in
 * report (at most 256 bytes, id in report[0]). Bytes read; -1 once the device
 * is gone, and at once on every later call. */
TINY_HID_API int ReadReport(int handle, unsigned char *report, unsigned int *word);

TINY_HID_API void CloseHidHandle(int handle);

#ifdef __cplusplus
}
#endif

#endif /* TINY_HID_DLL_H */
