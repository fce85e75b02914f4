// Ctrl-C: during a scan it only stops that scan; at any other moment it ends
// the program with status 1.
#ifndef SRC_DRIVER_INTERRUPT_H_
#define SRC_DRIVER_INTERRUPT_H_

// The SIGINT handler. While a scan runs it sets interrupted, which the scan
// polls. Otherwise it ends the program at once if the program is waiting for
// input (standard output is flushed then), or asks the next pollInterrupt to
// end it. It touches nothing but the flags and the handler registration.
void sigint(int signal_number);

#endif  // SRC_DRIVER_INTERRUPT_H_
