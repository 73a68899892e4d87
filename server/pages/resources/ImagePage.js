// Fits each picture of class fitImg into the window, centred. A picture smaller than the
// window is shown at most at its own size times the device's pixel ratio, so that a small GIF
// is not blown up into a blur on a desktop screen. Its own size is that of the file loaded: a
// picture offered in renditions (srcset) reports a size divided by the density its rendition
// was chosen for, rounded to whole pixels, so the file is measured once more by itself.
function fitImg() {
	$('.fitImg').each(function () {
		var img = $(this);
		img.css({position: '', left: '', top: '', width: '', height: ''});
		if (!this.naturalWidth || !this.naturalHeight) return; // not loaded yet: the load event fits it
		if (!this.srcset || !this.currentSrc) {
			place(img, this.naturalWidth, this.naturalHeight);
			return;
		}
		var probe = new Image();
		probe.onload = function () { place(img, probe.naturalWidth, probe.naturalHeight); };
		probe.src = this.currentSrc;
	});
	$('.box').outerHeight($(window).height());
}
// `width` x `height`: the size in pixels of the file shown.
function place(img, width, height) {
	var windowWidth = $(window).width();
	var windowHeight = $(window).height();
	var scale = Math.min(windowWidth / width, windowHeight / height, window.devicePixelRatio || 1);
	var scaledWidth = width * scale;
	var scaledHeight = height * scale;
	img.css({
		position: 'absolute',
		left: Math.floor((windowWidth - scaledWidth) / 2) + 'px',
		top: Math.floor((windowHeight - scaledHeight) / 2) + 'px',
		width: scaledWidth + 'px',
		height: scaledHeight + 'px',
		visibility: 'visible'
	});
}
// The width in device pixels a picture fitted into the window can take at most: the server
// sends the screen rendition that covers it.
function screenWidth() {
	return Math.ceil($(window).width() * (window.devicePixelRatio || 1));
}
$(window).on('load resize', fitImg);
