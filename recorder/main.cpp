#include "recorder/qarv_recorder_app.h"

int main(int argc, char** argv) {
    qarv::CQarvRecorderApp app(argc, argv);
    return app.Run();
}
