/*
 * GBP: the phone library's C interface. Five exports open and close the
 * phone's service mode (GBP mode) on a serial port and read, erase and write
 * files of its non-volatile memory (NVM), each named by two 8-bit numbers.
 *
 * Every function returns GBP_OK (exactly 1) on success. Any other value is a
 * failure; the values below tell the causes apart for diagnosis, but a caller
 * that only needs success or failure compares with 1 and nothing else.
 *
 * Any library with these five exports can take this one's place at load time.
 */
#ifndef GBP_H
#define GBP_H

#include <stdint.h>

/* Calling convention of the five exports: the platform's C convention unless a
 * build defines GBP_CALL to match another library (for example __stdcall). */
#ifndef GBP_CALL
#define GBP_CALL
#endif

#if defined(_WIN32)
#if defined(GBP_BUILDING_LIBRARY)
#define GBP_API __declspec(dllexport)
#else
#define GBP_API __declspec(dllimport)
#endif
#else
#define GBP_API __attribute__((visibility("default")))
#endif

/* Results. */
#define GBP_OK 1
#define GBP_NO_ANSWER 0       /* the phone did not answer within the bound */
#define GBP_REFUSED (-1)      /* the phone answered and refused the request */
#define GBP_LINE_ERROR (-2)   /* the line failed: frames kept arriving damaged, or it dropped */
#define GBP_NOT_OPEN (-3)     /* no service-mode session is open */
#define GBP_BAD_ARGUMENT (-4) /* a port, length or buffer the library cannot use */
#define GBP_PORT_ERROR (-5)   /* the serial device could not be opened or set up */

#ifdef __cplusplus
extern "C" {
#endif

/* Opens service mode on COM port `port` (1..6). */
GBP_API int32_t GBP_CALL InitGBPMode(uint8_t port);

/* Closes service mode; harmless when none is open. */
GBP_API void GBP_CALL EndGBPMode(void);

/* Erases NVM file first-second. */
GBP_API int32_t GBP_CALL ClearNVMFile(uint8_t first, uint8_t second);

/* Reads NVM file first-second into `data` from its byte 0. Writes at most the
 * file's length and never more than 5565 bytes. `fourth` is reserved; pass 0. */
GBP_API int32_t GBP_CALL ReadNVMFile(uint8_t first, uint8_t second, uint8_t* data, int32_t fourth);

/* Replaces the content of NVM file first-second with `length` bytes of `data`. */
GBP_API int32_t GBP_CALL WriteNVMFile(uint8_t first, uint8_t second, uint8_t* data, int32_t length);

#ifdef __cplusplus
}
#endif

#endif /* GBP_H */
