/* The TCMU command ring of one UIO device, in C: the kernel's header does
   not compile as C++ (enum conversion, a second struct iovec). */
#ifndef QDRIVE_TCMU_RING_H
#define QDRIVE_TCMU_RING_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

struct tcmu_ring {
  int fd;
  uint8_t *base;
  size_t size;
  uint32_t tail, head;
};

/* Opens /dev/uioN and maps its ring; 0 or -1 with errno. */
int ring_open(const char *uio, struct tcmu_ring *ring);
/* Waits for the kernel's kick; 0, -1 with errno EINTR on a signal, or -1 when the device went
   away. */
int ring_wait(struct tcmu_ring *ring);
/* The next command entry, or NULL when the ring is drained (padding is skipped). */
void *ring_next(struct tcmu_ring *ring);
const uint8_t *ring_cdb(const struct tcmu_ring *ring, const void *entry);
size_t ring_iov_count(const void *entry);
uint8_t *ring_iov(const struct tcmu_ring *ring, const void *entry, size_t i, size_t *len);
/* Writes status and sense into the entry (after its request fields were read) and moves the tail
   past it. */
void ring_complete(struct tcmu_ring *ring, void *entry, uint8_t status, const uint8_t *sense,
                   size_t sense_len);
/* Tells the kernel that completions are waiting. */
int ring_kick(struct tcmu_ring *ring);

#ifdef __cplusplus
}
#endif
#endif
