// Opens an audio file as the recordings list does and prints what the reader sees, for the
// end-to-end tests, which cannot reach the reader through the program:
//   status=<n> frames=<n> rate=<n> channels=<n> growing=<0|1>
#include <cstdio>

#include "formats/audio_file_opener.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <file>\n", argv[0]);
        return 2;
    }
    const sonaro::SourceRef source = sonaro::OpenRecordingFile(argv[1]);
    std::printf("status=%d frames=%lld rate=%d channels=%d growing=%d\n",
                static_cast<int>(source->status()), static_cast<long long>(source->GetLength()),
                source->rate(), static_cast<int>(source->channels()), source->IsGrowing() ? 1 : 0);
    return 0;
}
