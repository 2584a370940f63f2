#include "tcmu_ring.h"

#include <linux/target_core_user.h>

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

static size_t map_size(const char *uio) {
  const char *name = strrchr(uio, '/');
  char path[128];
  unsigned long size = 0;
  snprintf(path, sizeof path, "/sys/class/uio/%s/maps/map0/size", name ? name + 1 : uio);
  FILE *f = fopen(path, "r");
  if (f) {
    if (fscanf(f, "%lx", &size) != 1)
      size = 0;
    fclose(f);
  }
  return size;
}

static struct tcmu_mailbox *mailbox(const struct tcmu_ring *ring) {
  return (struct tcmu_mailbox *)ring->base;
}

int ring_open(const char *uio, struct tcmu_ring *ring) {
  memset(ring, 0, sizeof *ring);
  ring->size = map_size(uio);
  ring->fd = open(uio, O_RDWR);
  if (ring->fd < 0 || ring->size == 0)
    return -1;
  void *map = mmap(NULL, ring->size, PROT_READ | PROT_WRITE, MAP_SHARED, ring->fd, 0);
  if (map == MAP_FAILED)
    return -1;
  ring->base = map;
  ring->tail = mailbox(ring)->cmd_tail;
  /* Commands queued before the device was opened came with a kick we never saw. */
  ring->head = __atomic_load_n(&mailbox(ring)->cmd_head, __ATOMIC_ACQUIRE);
  return 0;
}

int ring_wait(struct tcmu_ring *ring) {
  uint32_t events;
  const ssize_t n = read(ring->fd, &events, sizeof events);
  if (n == (ssize_t)sizeof events) {
    ring->head = __atomic_load_n(&mailbox(ring)->cmd_head, __ATOMIC_ACQUIRE);
    return 0;
  }
  if (n >= 0)
    errno = ENODEV;
  return -1;
}

static struct tcmu_cmd_entry *entry_at(const struct tcmu_ring *ring, uint32_t offset) {
  return (struct tcmu_cmd_entry *)(ring->base + mailbox(ring)->cmdr_off + offset);
}

static void advance(struct tcmu_ring *ring, const struct tcmu_cmd_entry *e) {
  ring->tail = (ring->tail + tcmu_hdr_get_len(e->hdr.len_op)) % mailbox(ring)->cmdr_size;
  __atomic_store_n(&mailbox(ring)->cmd_tail, ring->tail, __ATOMIC_RELEASE);
}

void *ring_next(struct tcmu_ring *ring) {
  while (ring->tail != ring->head) {
    struct tcmu_cmd_entry *e = entry_at(ring, ring->tail);
    if (tcmu_hdr_get_op(e->hdr.len_op) == TCMU_OP_CMD)
      return e;
    advance(ring, e); /* padding, or a task management note we need not answer */
  }
  return NULL;
}

const uint8_t *ring_cdb(const struct tcmu_ring *ring, const void *entry) {
  return ring->base + ((const struct tcmu_cmd_entry *)entry)->req.cdb_off;
}

size_t ring_iov_count(const void *entry) {
  return ((const struct tcmu_cmd_entry *)entry)->req.iov_cnt;
}

uint8_t *ring_iov(const struct tcmu_ring *ring, const void *entry, size_t i, size_t *len) {
  const struct tcmu_cmd_entry *e = entry;
  struct iovec v;
  memcpy(&v, (const uint8_t *)e + offsetof(struct tcmu_cmd_entry, req.iov) + i * sizeof v,
         sizeof v);
  *len = v.iov_len;
  return ring->base + (uintptr_t)v.iov_base;
}

void ring_complete(struct tcmu_ring *ring, void *entry, uint8_t status, const uint8_t *sense,
                   size_t sense_len) {
  struct tcmu_cmd_entry *e = entry;
  e->rsp.scsi_status = status;
  memset(e->rsp.sense_buffer, 0, sizeof e->rsp.sense_buffer);
  if (sense_len > sizeof e->rsp.sense_buffer)
    sense_len = sizeof e->rsp.sense_buffer;
  if (sense_len)
    memcpy(e->rsp.sense_buffer, sense, sense_len);
  advance(ring, e);
}

int ring_kick(struct tcmu_ring *ring) {
  const uint32_t kick = 0;
  return write(ring->fd, &kick, sizeof kick) == (ssize_t)sizeof kick ? 0 : -1;
}
