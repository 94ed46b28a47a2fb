/* Velkaron packets for PhysFS: an archiver that PhysFS mounts packets with, as it mounts
 * zips. After vkr_physfs_register(), PHYSFS_mount("assets.dat", "/", 1) mounts a packet
 * read-only; PHYSFS_openRead (with seeking), PHYSFS_enumerate and PHYSFS_stat work on
 * it. Paths are PhysFS's UTF-8. A packet's names are read one way for the whole packet:
 * as GBK (the format's encoding, from a Chinese Windows), shown and looked up in UTF-8,
 * when every name is well-formed GBK; else as they are stored (UTF-8, from Linux, say).
 * A name PhysFS cannot be given (one as stored that is not UTF-8, one holding ":") is
 * left out of listings; the others are listed and open. A program that knows how its
 * packets' names are written says so with vkr_physfs_register_names. Link
 * Velkaron::physfs, or `pkg-config --cflags --libs velkaron-physfs` (-lvelkaron-physfs
 * -lvelkaron-reader -lphysfs). */
#ifndef VELKARON_PHYSFS_H
#define VELKARON_PHYSFS_H

#ifdef __cplusplus
extern "C" {
#endif

/* How the archiver reads a packet's names, for vkr_physfs_register_names. */
#define VKR_PHYSFS_NAMES_DETECT 0 /* GBK when every name is well-formed GBK, else as stored */
#define VKR_PHYSFS_NAMES_GBK 1    /* GBK always: a packet whose names are not GBK is refused (PHYSFS_ERR_CORRUPT) */
#define VKR_PHYSFS_NAMES_UTF8 2   /* as stored always: names that are not UTF-8 left out of listings */

/* Registers the archiver for packets (extension "dat"; any file beginning with a
 * packet's header is taken whatever its name), reading names as VKR_PHYSFS_NAMES_DETECT
 * says. Call it after PHYSFS_init, and again after each PHYSFS_deinit (which forgets
 * every archiver). Nonzero on success; zero on failure, with PhysFS's error code set
 * (PHYSFS_ERR_DUPLICATE when it is registered already), or without one before
 * PHYSFS_init, where PhysFS keeps no error code (PhysFS 3.0 crashes setting one). */
int vkr_physfs_register(void);
/* The same, reading the names of every packet mounted afterwards as `names` says
 * (VKR_PHYSFS_NAMES_DETECT, _GBK or _UTF8; zero with PHYSFS_ERR_INVALID_ARGUMENT for
 * another value). To change it, PHYSFS_deregisterArchiver("dat") first. */
int vkr_physfs_register_names(int names);

#ifdef __cplusplus
}
#endif

#endif /* VELKARON_PHYSFS_H */
