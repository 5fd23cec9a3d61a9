/* Bare TCP ping-pong on loopback: a server thread answers every 4-byte request with 4 bytes.
 * The floor that the TCP server's request round trip is compared with.
 * Usage: tcp_pingpong_baseline [round-trips]  (prints nanoseconds per round trip) */
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

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
  char buf[4];
  while (read_full(fd, buf, 4) == 0) {
    if (send(fd, buf, 4, MSG_NOSIGNAL) != 4) break;
  }
  close(fd);
  return NULL;
}

int main(int argc, char** argv) {
  long rounds = argc > 1 ? atol(argv[1]) : 50000;
  struct sockaddr_in a = {0};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  listener = socket(AF_INET, SOCK_STREAM, 0);
  if (bind(listener, (struct sockaddr*)&a, sizeof a) != 0 || listen(listener, 15) != 0) return 1;
  getsockname(listener, (struct sockaddr*)&a, &len);
  pthread_t t;
  pthread_create(&t, NULL, serve, NULL);
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (connect(fd, (struct sockaddr*)&a, sizeof a) != 0) return 1;
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  char buf[4] = {0, 0, 0, 1};
  struct timespec t0, t1;
  clock_gettime(CLOCK_MONOTONIC, &t0);
  for (long i = 0; i < rounds; ++i) {
    if (send(fd, buf, 4, 0) != 4 || read_full(fd, buf, 4) != 0) return 1;
  }
  clock_gettime(CLOCK_MONOTONIC, &t1);
  double ns = ((t1.tv_sec - t0.tv_sec) * 1e9 + (t1.tv_nsec - t0.tv_nsec)) / (double)rounds;
  printf("tcp ping-pong: %.0f ns per round trip (%ld round trips)\n", ns, rounds);
  close(fd);
  pthread_join(t, NULL);
  return 0;
}
