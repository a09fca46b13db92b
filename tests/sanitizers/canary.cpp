// A program that does what the sanitizer runs must catch: with "overflow"
// it reads past a heap block (AddressSanitizer), with "race" two threads
// write one counter without a lock (ThreadSanitizer), with "shift" it
// shifts past an int's width (UndefinedBehaviorSanitizer). Built only with
// -DKESTRUNE_SANITIZER_CANARY=ON, to show that a sanitizer run fails when it
// should; it is never part of the usual build.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

int overflow()
{
    volatile int size = 8;
    int* block = new int[size];
    int sum = 0;
    for (int i = 0; i <= size; ++i)  // one past the end
        sum += block[i] = i;
    delete[] block;
    return sum;
}

long counter = 0;

int race()
{
    auto add = [] {
        for (int i = 0; i < 100000; ++i)
            counter = counter + 1;
    };
    std::thread a(add);
    std::thread b(add);
    a.join();
    b.join();
    return int(counter & 1);
}

int shift(int by)
{
    return 1 << by;
}

}  // namespace

int main(int argc, char** argv)
{
    const char* what = argc > 1 ? argv[1] : "";
    int result = 0;
    if (std::strcmp(what, "overflow") == 0)
        result = overflow();
    else if (std::strcmp(what, "race") == 0)
        result = race();
    else if (std::strcmp(what, "shift") == 0)
        result = shift(std::atoi("40"));
    else {
        std::fprintf(stderr, "usage: sanitizer_canary overflow|race|shift\n");
        return 2;
    }
    std::printf("%d\n", result);
    return 0;
}
