/* A USB stick in memory, as slow as a real one: an nbdkit plugin (run through nbdkit's cc
 * plugin) that keeps its blocks in RAM and makes every request take as long as the stick's
 * read or write speed says. Real sticks read about three times as fast as they write, which
 * nbdkit's own rate filter, with one rate for both, cannot show.
 *
 *   nbdkit -s cc bench/slowstick.c size=400M read=30 write=10    (MB/s)
 *
 * Requests are served one at a time, as a stick's controller does, and the time a request takes
 * is added to when the device is next free, so a burst of requests queues as it would. */
#include <errno.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <time.h>

#define NBDKIT_API_VERSION 2
#include <nbdkit-plugin.h>

#define THREAD_MODEL NBDKIT_THREAD_MODEL_SERIALIZE_ALL_REQUESTS

static int64_t size;
static double read_rate = 30e6, write_rate = 10e6;
static unsigned char *blocks;
static struct timespec free_at;

static int slowstick_config(const char *key, const char *value)
{
    if (strcmp(key, "size") == 0) {
        size = nbdkit_parse_size(value);
        return size < 0 ? -1 : 0;
    }
    if (strcmp(key, "read") == 0 || strcmp(key, "write") == 0) {
        double rate = strtod(value, NULL) * 1e6;
        if (rate <= 0) {
            nbdkit_error("%s must be a positive speed in MB/s", key);
            return -1;
        }
        *(key[0] == 'r' ? &read_rate : &write_rate) = rate;
        return 0;
    }
    nbdkit_error("unknown parameter %s", key);
    return -1;
}

static int slowstick_get_ready(void)
{
    if (size <= 0) {
        nbdkit_error("size= is missing");
        return -1;
    }
    /* Anonymous pages read as zeros and cost nothing until written, like a new stick. */
    blocks = mmap(NULL, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (blocks == MAP_FAILED) {
        nbdkit_error("mmap: %m");
        return -1;
    }
    return 0;
}

static void *slowstick_open(int readonly)
{
    (void)readonly;
    return NBDKIT_HANDLE_NOT_NEEDED;
}

static int64_t slowstick_get_size(void *handle)
{
    (void)handle;
    return size;
}

static void occupy(uint32_t count, double rate)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    if (now.tv_sec > free_at.tv_sec || (now.tv_sec == free_at.tv_sec && now.tv_nsec > free_at.tv_nsec))
        free_at = now;
    long long ns = free_at.tv_nsec + (long long)(count / rate * 1e9);
    free_at.tv_sec += ns / 1000000000;
    free_at.tv_nsec = ns % 1000000000;
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &free_at, NULL) == EINTR) {
    }
}

static int slowstick_pread(void *handle, void *buf, uint32_t count, uint64_t offset, uint32_t flags)
{
    (void)handle;
    (void)flags;
    occupy(count, read_rate);
    memcpy(buf, blocks + offset, count);
    return 0;
}

static int slowstick_pwrite(void *handle, const void *buf, uint32_t count, uint64_t offset, uint32_t flags)
{
    (void)handle;
    (void)flags;
    occupy(count, write_rate);
    memcpy(blocks + offset, buf, count);
    return 0;
}

static int slowstick_flush(void *handle, uint32_t flags)
{
    (void)handle;
    (void)flags;
    return 0;
}

static struct nbdkit_plugin plugin = {
    .name = "slowstick",
    .config = slowstick_config,
    .get_ready = slowstick_get_ready,
    .open = slowstick_open,
    .get_size = slowstick_get_size,
    .pread = slowstick_pread,
    .pwrite = slowstick_pwrite,
    .flush = slowstick_flush,
};

NBDKIT_REGISTER_PLUGIN(plugin)
