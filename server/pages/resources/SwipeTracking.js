$(function () {
	var fingers = 0;
	var positionXo = 0;
	var positionYo = 0;
	var direction = '';
	$('article').on('touchstart', function (e) {
		var touches = e.originalEvent.touches;
		fingers = touches.length;
		positionXo = touches[0].pageX;
		positionYo = touches[0].pageY;
		direction = '';
	});
	$('article').on('touchmove', function (e) {
		var touches = e.originalEvent.touches;
		if (touches.length != 1 || fingers != 1) return;
		var positionX = touches[0].pageX;
		var positionY = touches[0].pageY;
		if (Math.abs(positionYo - positionY) < 20) {
			if (positionXo - positionX > 40) {
				direction = 'left';
			} else if (positionXo - positionX < -40) {
				direction = 'right';
			}
		}
