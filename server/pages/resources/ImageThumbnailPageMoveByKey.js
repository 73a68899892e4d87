$(document).keydown(function (e) {
// Keys typed into a field are the field's own: an arrow there moves the caret or the slider.
var field = e.target || {};
if (field.isContentEditable || /^(TEXTAREA|SELECT)$/.test(field.tagName) ||
		(field.tagName == 'INPUT' && !/^(button|submit|reset|checkbox|radio|image)$/.test(field.type))) return;
if(e.altKey==false){
		switch (e.which){
		case 39: // Key[→]
				window.location.href = $('#NextPage').attr('href');
			break; 
		case 37: // Key[←]
				window.location.href = $('#PrevPage').attr('href');
			break; 
		}
	}
});
$(window).keyup(function (e) {
// Keys typed into a field are the field's own: an arrow there moves the caret or the slider.
var field = e.target || {};
if (field.isContentEditable || /^(TEXTAREA|SELECT)$/.test(field.tagName) ||
		(field.tagName == 'INPUT' && !/^(button|submit|reset|checkbox|radio|image)$/.test(field.type))) return;
if(e.altKey==false){
		switch (e.which){
		case 227: // Key[早送り]
				window.location.href = $('#NextPage').attr('href');
			break; 
		case 228: // Key[巻き戻し]
				window.location.href = $('#PrevPage').attr('href');
			break; 
		}
	}
});
