// Fits each picture of class fitImg into the window, centred. A picture smaller than the
// window is shown at most at its own size: one CSS pixel to each of its pixels, so that a small
// GIF is not blown up into a blur. Its own size is that of the file loaded: a picture offered
// in renditions (srcset) reports a size scaled by the rendition's width, so the file is
// measured once more by itself.
function fitImg() {
	$('.fitImg').each(function () {
		var element = this;
		var img = $(this);
		img.css({position: '', left: '', top: '', width: '', height: ''});
		var width = this.naturalWidth;
		var height = this.naturalHeight;
		if (!width || !height) return; // not loaded yet: the load event fits it
		if (this.srcset && this.currentSrc) {
			var probe = new Image();
			probe.onload = function () { place(img, width, height, probe.naturalWidth); };
			probe.src = this.currentSrc;
			if (probe.complete && probe.naturalWidth) place(img, width, height, probe.naturalWidth);
			return;
		}
		place(img, width, height, width);
	});
	$('.box').outerHeight($(window).height());
}
// `ownWidth`: the width in pixels of the file shown.
function place(img, width, height, ownWidth) {
	var windowWidth = $(window).width();
	var windowHeight = $(window).height();
	var scale = Math.min(windowWidth / width, windowHeight / height, ownWidth / width);
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
