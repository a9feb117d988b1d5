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
 *
 * Configuration (environment of the process, read on every InitGBPMode):
 *   GBP_COM<n>      device of COM port n (1..6), e.g. GBP_COM4=/dev/pts/7;
 *                   unset or empty: /dev/ttyS<n-1>
 *   GBP_TIMEOUT_MS  wait for a reply beyond its time on the wire, 1..60000,
 *                   default 250
 *   GBP_RETRIES     further attempts of one exchange, 0..20, default 3
 *   GBP_BAUD        line rate, one of 9600 19200 38400 57600 115200 230400
 *                   460800 921600, default 115200 (always 8N1, no flow control)
 *   GBP_CHUNK       data bytes per frame, 64..4096, default 4096 (the phone
 *                   may announce less)
 * A value that is not a whole number in range is ignored (default used).
 *
 * Time bound: one exchange (a request and its reply) gives up after
 * (GBP_RETRIES + 1) attempts of GBP_TIMEOUT_MS plus 1.25 times both frames'
 * time on the wire. InitGBPMode, ClearNVMFile and EndGBPMode make one
 * exchange each, ReadNVMFile at most ceil(5565 / chunk) and WriteNVMFile
 * ceil(length / chunk) (at least one); InitGBPMode with a session still open
 * first makes the Close exchange of that session. With the defaults and no phone
 * answering, a call returns after about 1 s; a device that cannot be opened
 * fails at once. No call dispatches anything or waits on anything else.
 *
 * The protocol on the line is described in docs/protocol.md.
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
/* success */
#define GBP_OK 1
/* the phone did not answer within the bound */
#define GBP_NO_ANSWER 0
/* the phone answered and refused the request */
#define GBP_REFUSED (-1)
/* frames kept arriving damaged, the line dropped, or the phone's replies made
 * no sense */
#define GBP_LINE_ERROR (-2)
/* no service-mode session is open; the line is not touched */
#define GBP_NOT_OPEN (-3)
/* a port outside 1..6, a null buffer, a length outside 0..65535 */
#define GBP_BAD_ARGUMENT (-4)
/* the device could not be opened or is not a serial line */
#define GBP_PORT_ERROR (-5)
/* ReadNVMFile: the file is longer than 5565 bytes; its first 5565 bytes were
 * written */
#define GBP_TRUNCATED (-6)

#ifdef __cplusplus
extern "C" {
#endif

/* Opens service mode on COM port `port` (1..6). A session still open is
 * closed first, whatever `port` is. On failure no session is open. */
GBP_API int32_t GBP_CALL InitGBPMode(uint8_t port);

/* Closes service mode (tells the phone, then releases the device); harmless
 * when none is open. */
GBP_API void GBP_CALL EndGBPMode(void);

/* Erases NVM file first-second. */
GBP_API int32_t GBP_CALL ClearNVMFile(uint8_t first, uint8_t second);

/* Reads NVM file first-second into `data` from its byte 0. Writes at most the
 * file's length and never more than 5565 bytes; on a failure part way, the
 * bytes received so far stay written. `fourth` is reserved; pass 0. */
GBP_API int32_t GBP_CALL ReadNVMFile(uint8_t first, uint8_t second, uint8_t* data, int32_t fourth);

/* Replaces the content of NVM file first-second with `length` bytes of `data`
 * (0..65535). The phone takes the new content only once all of it arrived. */
GBP_API int32_t GBP_CALL WriteNVMFile(uint8_t first, uint8_t second, uint8_t* data, int32_t length);

#ifdef __cplusplus
}
#endif

#endif /* GBP_H */
