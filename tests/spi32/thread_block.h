/* The thread environment block Windows code finds through %fs. */
#ifndef SPI32_THREAD_BLOCK_H
#define SPI32_THREAD_BLOCK_H

/* Makes %fs address a thread block of our own: the runtime start-up code in
 * the DLL reads its own address at fs:0x18 and the stack bounds after it;
 * implicit thread-local data is reached through the slot array at fs:0x2c.
 * Returns 0 when the system refuses the segment. */
int SetUpThreadBlock(void);

/* Installs `data` as the thread-local block of TLS index 0. */
void SetThreadLocalBlock(void *data);

#endif
