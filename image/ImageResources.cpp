// Anchor for the image resources: the logo and the button pictures are compiled into this
// library by qt_add_resources, so the library needs one translation unit of its own.
namespace vaultix::image {
int ImageResourcesAnchor = 0;
}
