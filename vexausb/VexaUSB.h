/* libVexaUSB.so: access to a Tavo unit.
 *
 * open_dev()        presence probe: a descriptor when a unit is attached, else -1.
 * open_file(pipe)   "PIPE00": a descriptor that takes one 64-byte packet for the unit;
 *                   "PIPE01": a descriptor whose read returns the unit's next answer,
 *                   blocking until it comes; any other name gives -1.
 * A unit that does not respond counts as absent: the probe gives up after 200 ms, opening a
 * pipe after 1 s. So does a socket served by another user. The answer read from an open
 * PIPE01 is waited for as long as it takes.
 * The caller closes every descriptor it gets. */
#ifndef VEXAUSB_H
#define VEXAUSB_H

#define VEXAUSB_API __attribute__((visibility("default")))

#ifdef __cplusplus
extern "C" {
#endif

VEXAUSB_API int open_dev(void);
VEXAUSB_API int open_file(const char* pipe);

#ifdef __cplusplus
}
#endif

#endif
