/* Velkaron packets for PhysFS: an archiver that PhysFS mounts packets with, as it mounts
 * zips. After vkr_physfs_register(), PHYSFS_mount("assets.dat", "/", 1) mounts a packet
 * read-only; PHYSFS_openRead (with seeking), PHYSFS_enumerate and PHYSFS_stat work on
 * it. Paths are PhysFS's UTF-8: a packet whose names are not UTF-8 is taken for one made
 * on a Chinese Windows, its GBK names shown and looked up in UTF-8. Link
 * Velkaron::physfs (or -lvelkaron-physfs -lvelkaron-reader -lphysfs). */
#ifndef VELKARON_PHYSFS_H
#define VELKARON_PHYSFS_H

#ifdef __cplusplus
extern "C" {
#endif

/* Registers the archiver for packets (extension "dat"; any file beginning with a
 * packet's header is taken whatever its name). Call it after PHYSFS_init. Nonzero on
 * success; zero on failure, with PhysFS's error code set (PHYSFS_ERR_DUPLICATE when it
 * is registered already, PHYSFS_ERR_NOT_INITIALIZED before PHYSFS_init). */
int vkr_physfs_register(void);

#ifdef __cplusplus
}
#endif

#endif /* VELKARON_PHYSFS_H */
