#include "common/file_util.h"
#include "updater/qarv_client_update_app.h"

int main(int argc, char** argv) {
    // Every file of the installation, the recorder included, is found from its folder.
    qarv::ChangeToProgramDirectory();
    qarv::CQarvClientUpdateApp app(argc, argv);
    return app.Run();
}
