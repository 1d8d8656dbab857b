#include "common/file_util.h"
#include "recorder/qarv_recorder_app.h"

int main(int argc, char** argv) {
    // The recorder's files are relative to its installation folder, wherever it was started from.
    qarv::ChangeToProgramDirectory();
    qarv::CQarvRecorderApp app(argc, argv);
    return app.Run();
}
