/* Bare Unix stream socket ping-pong: a server thread answers every 36-byte request (a window
 * endpoint frame header with 8 bytes of data) with an 8-byte reply. The floor that the window
 * endpoint's sent-frame round trip is compared with.
 * Usage: unix_pingpong_baseline [round-trips]  (prints nanoseconds per round trip) */
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

enum { kRequest = 36, kReply = 8 };
static int listener;

static int read_full(int fd, char* p, size_t n) {
  while (n > 0) {
    ssize_t r = recv(fd, p, n, 0);
    if (r <= 0) return -1;
    p += r;
    n -= (size_t)r;
  }
  return 0;
}

static void* serve(void* arg) {
  (void)arg;
  int fd = accept(listener, NULL, NULL);
  char buf[kRequest];
  while (read_full(fd, buf, kRequest) == 0) {
    if (send(fd, buf, kReply, MSG_NOSIGNAL) != kReply) break;
  }
  close(fd);
  return NULL;
}

int main(int argc, char** argv) {
  long rounds = argc > 1 ? atol(argv[1]) : 50000;
  struct sockaddr_un a = {0};
  a.sun_family = AF_UNIX;
  snprintf(a.sun_path, sizeof a.sun_path, "/tmp/bx-unix-pingpong-%d.sock", (int)getpid());
  listener = socket(AF_UNIX, SOCK_STREAM, 0);
  if (bind(listener, (struct sockaddr*)&a, sizeof a) != 0 || listen(listener, 15) != 0) return 1;
  pthread_t t;
  pthread_create(&t, NULL, serve, NULL);
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  if (connect(fd, (struct sockaddr*)&a, sizeof a) != 0) return 1;
  unlink(a.sun_path);
  char buf[kRequest];
  memset(buf, 1, sizeof buf);
  struct timespec t0, t1;
  clock_gettime(CLOCK_MONOTONIC, &t0);
  for (long i = 0; i < rounds; ++i) {
    if (send(fd, buf, kRequest, 0) != kRequest || read_full(fd, buf, kReply) != 0) return 1;
  }
  clock_gettime(CLOCK_MONOTONIC, &t1);
  double ns = ((t1.tv_sec - t0.tv_sec) * 1e9 + (t1.tv_nsec - t0.tv_nsec)) / (double)rounds;
  printf("unix ping-pong: %.0f ns per round trip (%ld round trips)\n", ns, rounds);
  close(fd);
  pthread_join(t, NULL);
  return 0;
}
